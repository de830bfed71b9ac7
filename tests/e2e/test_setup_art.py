"""The setup window's art as the program carries it: every PNG the window draws, at the size its
layout is built on, with transparency where it sits over the background, and the window icon.
The resources are read back from the built PeloraSetup.exe with 7-Zip's PE reader, which knows
nothing of how they were put there; the generator is run again to show that the build embeds
what the description gives, byte for byte, on every run."""

import io
import shutil
import struct
import subprocess
import sys
from pathlib import Path

import pytest
from PIL import Image, ImageStat

from e2e_wine import ROOT

GENERATOR = ROOT / "res" / "art" / "make_art.py"
# The Pillow of the generator is Debian's python3-pil, which belongs to the system Python.
SYSTEM_PYTHON = "/usr/bin/python3" if Path("/usr/bin/python3").exists() else sys.executable

# Id -> size of every PNG the window's layout is built on.
PNG_SIZES = {
    165: (590, 440),
    **{i: (24, 24) for i in (166, 167, 168, 194, 169, 170, 171)},
    172: (160, 160),
    **{i: (200, 54) for i in (173, 174, 175, 193)},
    176: (12, 12), 177: (12, 12),
    **{i: (78, 36) for i in (178, 179, 180)},
    **{i: (88, 28) for i in (181, 182, 183, 192)},
    **{i: (78, 28) for i in (184, 185, 186)},
    **{i: (14, 14) for i in (187, 188, 189)},
    190: (140, 140), 191: (60, 15),
    **{i: (200, 44) for i in (195, 196, 197)},
    198: (70, 20),
}
BACKGROUND = 165
ICON_GROUP = 107
ICON_SIDES = [16, 32, 48, 256]
# Filled faces: (Down, Hover, Normal, Disabled or None).
FILLED_FACES = {"install": (173, 174, 175, 193), "location install": (181, 182, 183, 192),
                "browse": (178, 179, 180, None), "continue": (195, 196, 197, None)}
# The location link's icon is drawn in the link text's colour of each state.
LINK_ICON_COLOURS = {187: (0x8B, 0x33, 0xFF), 188: (0xB1, 0x76, 0xFF), 189: (0xA8, 0x66, 0xFF)}


def _sevenzip():
    path = shutil.which("7zz")
    if not path:
        pytest.fail("7zz (Debian's 7zip, scripts/bootstrap.sh) is not installed")
    return path


@pytest.fixture(scope="module")
def resources(setup_exe, tmp_path_factory):
    """{(type, name): bytes} of the program's resources, language folders merged. 7-Zip writes
    an icon image with an .ico header of its own in front; the raw image is kept."""
    out = tmp_path_factory.mktemp("rsrc")
    subprocess.run([_sevenzip(), "x", "-tPE", "-y", f"-o{out}", str(setup_exe), ".rsrc"],
                   check=True, capture_output=True)
    found = {}
    for path in (out / ".rsrc").glob("*/*/*"):
        kind, name = path.parent.name, path.name
        data = path.read_bytes()
        if kind == "ICON" and name.endswith(".ico"):
            name, data = name[:-4], data[6 + 16:]
        found[(kind, name)] = data
    return found


@pytest.fixture(scope="module")
def generated(tmp_path_factory):
    """Two runs of the generator into two fresh folders."""
    runs = []
    for run in ("first", "second"):
        folder = tmp_path_factory.mktemp(f"art-{run}")
        subprocess.run([SYSTEM_PYTHON, str(GENERATOR), "--out", str(folder)], check=True,
                       capture_output=True)
        runs.append(folder)
    return runs


def _png(resources, resource_id):
    data = resources.get(("PNG", str(resource_id)))
    assert data is not None, f"PNG resource {resource_id} is missing"
    assert data[:8] == b"\x89PNG\r\n\x1a\n", f"PNG resource {resource_id} is not a PNG"
    return Image.open(io.BytesIO(data))


def _face_luminance(image):
    """Mean relative luminance of the opaque pixels of a face."""
    opaque = image.getchannel("A").point(lambda alpha: 255 if alpha == 255 else 0)
    red, green, blue = ImageStat.Stat(image.convert("RGB"), mask=opaque).mean
    return _relative_luminance((red, green, blue))


def _relative_luminance(rgb):
    def linear(value):
        value /= 255
        return value / 12.92 if value <= 0.03928 else ((value + 0.055) / 1.055) ** 2.4
    red, green, blue = (linear(v) for v in rgb[:3])
    return 0.2126 * red + 0.7152 * green + 0.0722 * blue


def _contrast(first, second):
    lighter, darker = sorted((_relative_luminance(first), _relative_luminance(second)), reverse=True)
    return (lighter + 0.05) / (darker + 0.05)


# --- what the program carries --------------------------------------------------------------------

def test_every_png_is_carried_at_its_layout_size(resources):
    wrong = {}
    for resource_id, size in PNG_SIZES.items():
        image = _png(resources, resource_id)
        if image.size != size:
            wrong[resource_id] = image.size
    assert not wrong, f"PNG sizes differ from the layout's: {wrong}"


def test_the_background_is_opaque_and_everything_over_it_has_transparent_corners(resources):
    background = _png(resources, BACKGROUND).convert("RGBA")
    assert background.getchannel("A").getextrema() == (255, 255)
    for resource_id in PNG_SIZES.keys() - {BACKGROUND}:
        image = _png(resources, resource_id)
        assert image.mode == "RGBA", f"PNG {resource_id} has no alpha channel ({image.mode})"
        alpha = image.getchannel("A")
        width, height = image.size
        corners = [alpha.getpixel((x, y)) for x in (0, width - 1) for y in (0, height - 1)]
        assert max(corners) < 64, f"PNG {resource_id}: corners {corners} hide the background"
        assert alpha.getextrema()[1] >= 64, f"PNG {resource_id} is all but invisible"


def test_the_icon_group_has_16_32_48_and_256_pixel_images_with_alpha(resources):
    group = resources.get(("GROUP_ICON", str(ICON_GROUP)))
    assert group is not None, "icon group 107 is missing"
    reserved, kind, count = struct.unpack_from("<HHH", group)
    assert (reserved, kind) == (0, 1)
    sides = []
    for index in range(count):
        width, height, _, _, _, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group,
                                                                         6 + 14 * index)
        side = width or 256
        sides.append(side)
        assert (height or 256, bits) == (side, 32), f"icon entry {index}: {width}x{height}, {bits} bits"
        data = resources.get(("ICON", str(icon_id)))
        assert data is not None and len(data) == size, f"icon image {icon_id} is missing or cut"
        if data[:8] == b"\x89PNG\r\n\x1a\n":
            image = Image.open(io.BytesIO(data))
            assert (image.size, image.mode) == ((side, side), "RGBA")
            alpha_values = image.getchannel("A").getextrema()
        else:
            header_size, dib_width, dib_height, _, dib_bits = struct.unpack_from("<IiiHH", data)
            assert (header_size, dib_width, dib_height, dib_bits) == (40, side, 2 * side, 32)
            alpha = data[40 + 3:40 + 4 * side * side:4]
            alpha_values = (min(alpha), max(alpha))
        assert alpha_values[0] < 64 and alpha_values[1] == 255, f"{side} px icon alpha {alpha_values}"
    assert sorted(sides) == ICON_SIDES


# --- the generator ---------------------------------------------------------------------------------

def test_the_generator_gives_the_same_bytes_on_every_run_and_the_build_embeds_them(resources, generated):
    first, second = generated
    names = sorted(path.name for path in first.iterdir())
    assert names == sorted(path.name for path in second.iterdir())
    # The uninstaller's pieces come from the same description (test_uninstall_window.py checks
    # that its program carries them).
    uninstaller = [f"{i}.png" for i in range(200, 208)]
    assert names == sorted([f"{i}.png" for i in PNG_SIZES] + uninstaller + [f"{ICON_GROUP}.ico"])
    for name in names:
        assert (first / name).read_bytes() == (second / name).read_bytes(), f"{name} differs"
    stale = [i for i in PNG_SIZES if resources[("PNG", str(i))] != (first / f"{i}.png").read_bytes()]
    assert not stale, f"the program carries other art than the description gives: {stale}"
    # The icon file again, rebuilt from the program's icon group and images in the group's order.
    group = resources[("GROUP_ICON", str(ICON_GROUP))]
    count = struct.unpack_from("<H", group, 4)[0]
    entries = [struct.unpack_from("<12sH", group, 6 + 14 * index) for index in range(count)]
    images = [resources[("ICON", str(icon_id))] for _, icon_id in entries]
    directory = struct.pack("<HHH", 0, 1, count)
    offset = 6 + 16 * count
    for (fields, _), image in zip(entries, images):
        directory += fields + struct.pack("<I", offset)
        offset += len(image)
    assert directory + b"".join(images) == (first / f"{ICON_GROUP}.ico").read_bytes()


# --- how the art reads on the window -------------------------------------------------------------

def test_hover_is_lighter_and_down_darker_than_normal_and_disabled_is_muted(resources):
    for name, (down, hover, normal, disabled) in FILLED_FACES.items():
        light = {state: _face_luminance(_png(resources, i))
                 for state, i in (("down", down), ("hover", hover), ("normal", normal))}
        assert light["down"] < light["normal"] < light["hover"], f"{name} button: {light}"
        # White text stays readable on the normal and the hover face (large-text contrast).
        for state, resource_id in (("normal", normal), ("hover", hover)):
            face = _png(resources, resource_id).convert("RGB")
            row = face.height // 2
            worst = min(_contrast((255, 255, 255), face.getpixel((x, row)))
                        for x in range(face.width // 4, face.width * 3 // 4))
            assert worst >= 3.0, f"{name} button {state}: white text contrast {worst:.2f}"
        if disabled is not None:
            def saturation(resource_id):
                red, green, blue = ImageStat.Stat(_png(resources, resource_id).convert("RGB")).mean
                return (max(red, green, blue) - min(red, green, blue)) / max(red, green, blue)
            assert saturation(disabled) < saturation(normal) / 2, f"{name} button: Disabled is not muted"


def test_title_glyphs_show_a_disc_on_hover_and_down_and_the_disabled_close_fades(resources):
    for name, (down, hover, normal) in {"close": (166, 167, 168), "minimise": (169, 170, 171)}.items():
        # (12, 4): inside the disc behind the glyph, away from the glyph's strokes.
        disc = {state: _png(resources, i).getchannel("A").getpixel((12, 4))
                for state, i in (("down", down), ("hover", hover), ("normal", normal))}
        assert disc["normal"] == 0 < disc["hover"] < disc["down"], f"{name} button disc alpha: {disc}"
    strongest = {i: _png(resources, i).getchannel("A").getextrema()[1] for i in (168, 194)}
    assert strongest[194] < strongest[168] / 2, f"Disabled close glyph alpha {strongest}"


def test_check_box_and_link_icon_states(resources):
    def mean_alpha(resource_id):
        return ImageStat.Stat(_png(resources, resource_id).getchannel("A")).mean[0]
    assert mean_alpha(177) > 2 * mean_alpha(176), "the checked box is not filled"
    for resource_id, expected in LINK_ICON_COLOURS.items():
        icon = _png(resources, resource_id)
        strongest = max(icon.getdata(), key=lambda pixel: pixel[3])
        assert strongest[:3] == expected, f"link icon {resource_id}: {strongest} is not the link colour"


def test_the_background_is_calm_and_dark_where_dimmed_white_texts_sit(resources):
    background = _png(resources, BACKGROUND).convert("RGB")
    # Status line, percentage, agreement link and the location band's label: texts in white at
    # alpha 127, which must keep a contrast of 4.5 with the background under them.
    places = {"status line": (14, 412, 214, 426), "percentage": (476, 404, 576, 428),
              "agreement link": (32, 414, 150, 427), "location label": (20, 318, 120, 332)}
    for name, box in places.items():
        area = background.crop(box)
        brightest = max(area.getdata(), key=_relative_luminance)
        text = tuple(round((255 + value) / 2) for value in brightest)
        assert _contrast(text, brightest) >= 4.5, f"{name}: {brightest} is too light"
        assert max(ImageStat.Stat(area).stddev) < 6, f"{name}: the background is busy under the text"
