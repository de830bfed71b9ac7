"""Drawing primitives of the art generator: colours, gradients and anti-aliased shape masks.

Every shape is drawn as a coverage mask at SUPERSAMPLE times the final size and brought down
with a Lanczos filter, so edges are smooth at 100 %; colours are then painted through the mask at
the final size. Coordinates are in final pixels, floats allowed: (0, 0) is the top-left corner of
the first pixel, (w, h) the bottom-right corner of the last."""

import math

from PIL import Image, ImageChops, ImageDraw, ImageFilter

SUPERSAMPLE = 4


# --- colours --------------------------------------------------------------------------------------

def colour(text):
    """"#RRGGBB" or "#RRGGBBAA" -> (r, g, b, a)."""
    digits = text.lstrip("#")
    if len(digits) not in (6, 8):
        raise ValueError(f"colour {text!r} is not #RRGGBB or #RRGGBBAA")
    values = [int(digits[i:i + 2], 16) for i in range(0, len(digits), 2)]
    return tuple(values) if len(values) == 4 else (*values, 255)


def mix(first, second, amount):
    """The colour amount (0..1) of the way from first to second; alpha is kept from first."""
    return tuple(round(a + (b - a) * amount) for a, b in zip(first[:3], second[:3])) + (first[3],)


def lighten(rgba, amount):
    return mix(rgba, (255, 255, 255, 255), amount)


def darken(rgba, amount):
    return mix(rgba, (0, 0, 0, 255), amount)


# --- fills ------------------------------------------------------------------------------------------

def solid(size, rgba):
    return Image.new("RGBA", size, rgba)


def ramp(size, direction):
    """An L image rising from 0 to 255 along direction (dx, dy) across the whole size."""
    width, height = size
    dx, dy = direction
    flip_x, flip_y = dx < 0, dy < 0
    dx, dy = abs(dx), abs(dy)
    span = dx * (width - 1) + dy * (height - 1) or 1
    across = Image.new("L", (width, 1))
    across.putdata([round(255 * dx * x / span) for x in range(width)])
    down = Image.new("L", (1, height))
    down.putdata([round(255 * dy * y / span) for y in range(height)])
    result = ImageChops.add(across.resize(size, Image.NEAREST), down.resize(size, Image.NEAREST))
    if flip_x:
        result = result.transpose(Image.FLIP_LEFT_RIGHT)
    if flip_y:
        result = result.transpose(Image.FLIP_TOP_BOTTOM)
    return result


def gradient(size, start, end, direction=(1, 0)):
    """An RGBA image going from colour start to colour end along direction."""
    return Image.composite(solid(size, end), solid(size, start), ramp(size, direction))


def paint(canvas, mask, fill, opacity=1.0):
    """Composites fill (a colour or an RGBA image of the canvas size) onto canvas through mask."""
    if isinstance(fill, tuple):
        fill = solid(canvas.size, fill)
    alpha = ImageChops.multiply(fill.getchannel("A"), mask)
    if opacity < 1.0:
        alpha = alpha.point(lambda value: round(value * opacity))
    layer = fill.copy()
    layer.putalpha(alpha)
    canvas.alpha_composite(layer)


def blurred(mask, radius, strength=1.0):
    """A soft copy of mask: Gaussian blur, then scaled by strength (0..1)."""
    soft = mask.filter(ImageFilter.GaussianBlur(radius)) if radius > 0 else mask
    return soft.point(lambda value: round(value * strength)) if strength < 1.0 else soft


# --- shape masks ---------------------------------------------------------------------------------

def _coverage(size, draw):
    """Runs draw(ImageDraw, to_hi) on a supersampled L image and brings it down to size. to_hi
    maps a final coordinate to the index of the supersampled pixel whose centre lies there."""
    width, height = size
    hi = Image.new("L", (width * SUPERSAMPLE, height * SUPERSAMPLE), 0)

    def to_hi(value):
        return value * SUPERSAMPLE - 0.5

    draw(ImageDraw.Draw(hi), to_hi)
    return hi.resize(size, Image.LANCZOS)


def _hi_box(box, to_hi):
    left, top, right, bottom = box
    return [to_hi(left) + 0.5, to_hi(top) + 0.5, to_hi(right) - 0.5, to_hi(bottom) - 0.5]


def rounded_rect(size, box, radius):
    def draw(surface, to_hi):
        surface.rounded_rectangle(_hi_box(box, to_hi), radius=round(radius * SUPERSAMPLE), fill=255)
    return _coverage(size, draw)


def ellipse(size, box):
    def draw(surface, to_hi):
        surface.ellipse(_hi_box(box, to_hi), fill=255)
    return _coverage(size, draw)


def ring(size, centre, radius, width):
    """A circle's outline of the given stroke width, centred on radius."""
    outer = radius + width / 2
    inner = radius - width / 2
    cx, cy = centre

    def draw(surface, to_hi):
        surface.ellipse(_hi_box((cx - outer, cy - outer, cx + outer, cy + outer), to_hi), fill=255)
        surface.ellipse(_hi_box((cx - inner, cy - inner, cx + inner, cy + inner), to_hi), fill=0)
    return _coverage(size, draw)


def stroke(size, points, width):
    """A polyline with round caps and joins."""
    half = width * SUPERSAMPLE / 2

    def draw(surface, to_hi):
        hi_points = [(to_hi(x), to_hi(y)) for x, y in points]
        surface.line(hi_points, fill=255, width=round(width * SUPERSAMPLE))
        for x, y in hi_points:
            surface.ellipse([x - half, y - half, x + half, y + half], fill=255)
    return _coverage(size, draw)


def polygon(size, points):
    def draw(surface, to_hi):
        surface.polygon([(to_hi(x), to_hi(y)) for x, y in points], fill=255)
    return _coverage(size, draw)


def rounded_triangle(size, points, radius):
    """A triangle whose corners are rounded with radius: the triangle shrunk towards its incentre
    by radius, grown back by a disc of that radius."""
    (ax, ay), (bx, by), (cx, cy) = points
    a = math.dist((bx, by), (cx, cy))
    b = math.dist((ax, ay), (cx, cy))
    c = math.dist((ax, ay), (bx, by))
    perimeter = a + b + c
    ix = (a * ax + b * bx + c * cx) / perimeter
    iy = (a * ay + b * by + c * cy) / perimeter
    s = perimeter / 2
    inradius = math.sqrt(s * (s - a) * (s - b) * (s - c)) / s
    scale = (inradius - radius) / inradius
    inner = [(ix + (x - ix) * scale, iy + (y - iy) * scale) for x, y in points]
    half = radius * SUPERSAMPLE

    def draw(surface, to_hi):
        hi_points = [(to_hi(x), to_hi(y)) for x, y in inner]
        surface.polygon(hi_points, fill=255)
        surface.line(hi_points + hi_points[:1], fill=255, width=round(2 * half))
        for x, y in hi_points:
            surface.ellipse([x - half, y - half, x + half, y + half], fill=255)
    return _coverage(size, draw)


def sine_band(size, baseline, amplitude, wavelength, thickness, phase=0.0):
    """A band of the given thickness following y = baseline + amplitude * sin(...) across size."""
    width, _ = size
    step = 4
    centre = [(x, baseline + amplitude * math.sin(2 * math.pi * x / wavelength + phase))
              for x in range(-step, width + 2 * step, step)]
    outline = ([(x, y - thickness / 2) for x, y in centre] +
               [(x, y + thickness / 2) for x, y in reversed(centre)])
    return polygon(size, outline)
