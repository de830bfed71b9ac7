"""The pieces of the setup window's art, each drawn from its section of art.toml.

Every function takes the piece's section, the shared palette and (for faces) the state, and
returns a PIL image of exactly the section's size: RGB for the opaque background, RGBA for
everything that sits over it."""

from PIL import Image, ImageChops

from art_paint import (blurred, colour, darken, ellipse, gradient, lighten, paint, ring, rounded_rect,
                       rounded_triangle, sine_band, stroke)

CLEAR = (0, 0, 0, 0)


def _transparent(size):
    return Image.new("RGBA", size, CLEAR)


def _accent(size, palette, direction=(1, 0)):
    """The accent gradient (the progress bar's colours) across size."""
    return gradient(size, colour(palette["accent_start"]), colour(palette["accent_end"]), direction)


def _shaded(mask, top_fraction, strength):
    """The upper top_fraction of mask fading out downwards, scaled by strength: a soft sheen."""
    width, height = mask.size
    fade = Image.new("L", (1, height))
    stop = max(1, round(height * top_fraction))
    fade.putdata([round(255 * strength * max(0.0, 1 - y / stop)) for y in range(height)])
    return ImageChops.multiply(mask, fade.resize(mask.size, Image.NEAREST))


def _glow(size, box, blur, strength):
    """A blurred ellipse, drawn with room around it so that the window's edge does not cut the
    blur short."""
    width, height = size
    pad = 3 * blur
    left, top, right, bottom = box
    shape = ellipse((width + 2 * pad, height + 2 * pad),
                    (left + pad, top + pad, right + pad, bottom + pad))
    return blurred(shape, blur, strength).crop((pad, pad, pad + width, pad + height))


# --- the window background -----------------------------------------------------------------------

def background(look, palette):
    size = tuple(look["size"])
    width, height = size
    canvas = gradient(size, colour(look["top"]), colour(look["bottom"]), (0, 1))
    for glow in look["glows"]:
        paint(canvas, _glow(size, glow["box"], glow["blur"], glow["strength"]), colour(glow["colour"]))
    for ribbon in look["ribbons"]:
        band = sine_band(size, ribbon["y"], ribbon["amplitude"], ribbon["wavelength"],
                         ribbon["thickness"], ribbon["phase"])
        paint(canvas, blurred(band, ribbon["blur"], ribbon["strength"]), colour(ribbon["colour"]))
    for circle in look["rings"]:
        paint(canvas, ring(size, circle["centre"], circle["radius"], circle["width"]),
              colour(circle["colour"]))
    calm_from = look["calm_from"]
    calm = Image.new("L", (1, height))
    calm.putdata([round(255 * look["calm_strength"] * max(0.0, (y - calm_from) / (height - calm_from)))
                  for y in range(height)])
    paint(canvas, calm.resize(size, Image.NEAREST), colour(look["calm_colour"]))
    return canvas.convert("RGB")


# --- the product mark ------------------------------------------------------------------------------

def _play_points(centre_x, centre_y, height):
    """A play triangle of the given height whose centroid sits on the centre (it then looks
    centred)."""
    width = height * 0.9
    left = centre_x - width / 3
    return [(left, centre_y - height / 2), (left, centre_y + height / 2), (left + width, centre_y)]


def _mark(canvas, palette, box, radius, play, live_dot):
    """The gradient tile with the white play mark and the live dot, in box of canvas."""
    size = canvas.size
    left, top, right, bottom = box
    side = right - left
    accent = _accent(size, palette, (1, 1))
    tile = rounded_rect(size, box, radius)
    paint(canvas, tile, accent)
    white = colour(palette["white"])
    paint(canvas, _shaded(tile, 0.55, 0.16), white)
    centre_x, centre_y = (left + right) / 2, (top + bottom) / 2
    play_height = side * play
    play_mark = rounded_triangle(size, _play_points(centre_x, centre_y, play_height), play_height * 0.1)
    paint(canvas, play_mark, white)
    if live_dot:
        diameter = side * live_dot
        dot_x, dot_y = left + side * 0.77, top + side * 0.23
        paint(canvas, ellipse(size, (dot_x - diameter / 2, dot_y - diameter / 2,
                                     dot_x + diameter / 2, dot_y + diameter / 2)), white)


def logo(look, palette):
    size = tuple(look["size"])
    width, height = size
    side = look["tile"]
    left, top = (width - side) / 2, (height - side) / 2
    box = (left, top, left + side, top + side)
    canvas = _transparent(size)
    shifted = (left, top + look["glow_offset"], left + side, top + side + look["glow_offset"])
    accent = _accent(size, palette, (1, 1))
    glow = blurred(rounded_rect(size, shifted, look["radius"]), look["glow_blur"], look["glow_strength"])
    paint(canvas, glow, accent)
    _mark(canvas, palette, box, look["radius"], look["play"], look["live_dot"])
    return canvas


def abort_logo(look, palette):
    """The small tile at the left and level bars in the gradient: the mark for the white card."""
    size = tuple(look["size"])
    width, height = size
    side = look["tile"]
    top = (height - side) / 2
    canvas = _transparent(size)
    _mark(canvas, palette, (1, top, 1 + side, top + side), look["radius"], look["play"], 0)
    bars = Image.new("L", size, 0)
    bar_width = look["bar_width"]
    x = side + 7
    for level in look["bars"]:
        # A bar of the given share of the height; its round caps add half a width at each end.
        half = (height - 6) * level / 2 - bar_width / 2
        centre_x = x + bar_width / 2
        bar = stroke(size, [(centre_x, height / 2 - half), (centre_x, height / 2 + half)], bar_width)
        bars = ImageChops.lighter(bars, bar)
        x += bar_width + look["bar_gap"]
    paint(canvas, bars, _accent(size, palette))
    return canvas


def unused_bar(look, palette):
    size = tuple(look["size"])
    canvas = _transparent(size)
    paint(canvas, rounded_rect(size, (0, 0, *size), size[1] / 2),
          _accent(size, palette))
    return canvas


# --- button faces ----------------------------------------------------------------------------------

def _by_state(start, end, state, palette, states):
    if state == "hover":
        return lighten(start, states["hover_lighten"]), lighten(end, states["hover_lighten"])
    if state == "down":
        return darken(start, states["down_darken"]), darken(end, states["down_darken"])
    if state == "disabled":
        return colour(palette["disabled_start"]), colour(palette["disabled_end"])
    return start, end


def gradient_face(look, palette, states, state):
    """A rounded face in the accent gradient with a soft sheen on its upper half."""
    size = tuple(look["size"])
    start, end = _by_state(colour(palette["accent_start"]), colour(palette["accent_end"]), state,
                           palette, states)
    canvas = _transparent(size)
    body = rounded_rect(size, (0, 0, *size), look["radius"])
    paint(canvas, body, gradient(size, start, end, (1, 0.25)))
    paint(canvas, _shaded(body, 0.6, states["sheen"][state]), colour(palette["white"]))
    return canvas


def solid_face(look, palette, states, state):
    size = tuple(look["size"])
    start, end = _by_state(colour(look["top"]), colour(look["bottom"]), state, palette, states)
    canvas = _transparent(size)
    body = rounded_rect(size, (0, 0, *size), look["radius"])
    paint(canvas, body, gradient(size, start, end, (0, 1)))
    paint(canvas, _shaded(body, 0.5, 0.12), colour(palette["white"]))
    return canvas


def outline_face(look, palette, states, state):
    """A transparent face with a thin rounded outline; Hover and Down tint the inside."""
    size = tuple(look["size"])
    width, height = size
    line = look["stroke"]
    radius = look["radius"]
    canvas = _transparent(size)
    outer = rounded_rect(size, (0, 0, width, height), radius)
    inner = rounded_rect(size, (line, line, width - line, height - line), radius - line)
    paint(canvas, inner, colour(look["fill"][state]))
    paint(canvas, ImageChops.subtract(outer, inner), colour(look["line"][state]))
    return canvas


def _title_glyph(look, state, strokes):
    size = tuple(look["size"])
    width, height = size
    canvas = _transparent(size)
    disc = look["disc_diameter"]
    paint(canvas, ellipse(size, ((width - disc) / 2, (height - disc) / 2,
                                 (width + disc) / 2, (height + disc) / 2)), colour(look["disc"][state]))
    glyph = Image.new("L", size, 0)
    for points in strokes:
        glyph = ImageChops.lighter(glyph, stroke(size, points, look["stroke"]))
    paint(canvas, glyph, colour(look["colour"][state]))
    return canvas


def close_glyph(look, palette, states, state):
    width, height = look["size"]
    half = look["glyph"] / 2
    cx, cy = width / 2, height / 2
    return _title_glyph(look, state, [[(cx - half, cy - half), (cx + half, cy + half)],
                                      [(cx - half, cy + half), (cx + half, cy - half)]])


def minimise_glyph(look, palette, states, state):
    width, height = look["size"]
    half = look["glyph"] / 2
    # On the middle of a pixel row, so that a one-pixel bar stays one row.
    y = height / 2 + 0.5
    return _title_glyph(look, state, [[(width / 2 - half, y), (width / 2 + half, y)]])


# --- small parts ------------------------------------------------------------------------------------

def check_box(look, palette, state):
    size = tuple(look["size"])
    width, height = size
    radius = look["radius"]
    canvas = _transparent(size)
    outer = rounded_rect(size, (0, 0, width, height), radius)
    if state == "unchecked":
        inner = rounded_rect(size, (1, 1, width - 1, height - 1), radius - 1)
        paint(canvas, inner, colour(look["inside"]))
        paint(canvas, ImageChops.subtract(outer, inner), colour(look["frame"]))
        return canvas
    paint(canvas, outer, _accent(size, palette, (1, 1)))
    tick = [(width * x, height * y) for x, y in look["tick"]]
    paint(canvas, stroke(size, tick, look["tick_width"]), colour(look["mark"]))
    return canvas


def link_icon(look, palette, state):
    size = tuple(look["size"])
    width, height = size
    line = look["stroke"]
    canvas = _transparent(size)
    cx, cy = width / 2, height / 2
    shape = ring(size, (cx, cy), width / 2 - line / 2, line)
    chevron = stroke(size, [(cx + x, cy + y) for x, y in look["chevron"]], line)
    paint(canvas, ImageChops.lighter(shape, chevron), colour(look["colour"][state]))
    return canvas


def icon_image(look, palette, side):
    """One size of the window icon: the mark filling the square with a small margin; the live dot
    only where it stays legible."""
    canvas = _transparent((side, side))
    margin = round(side * 0.03)
    small = side < 32
    _mark(canvas, palette, (margin, margin, side - margin, side - margin),
          (side - 2 * margin) * look["radius"], look["play_small"] if small else look["play"],
          0 if small else look["live_dot"])
    return canvas
