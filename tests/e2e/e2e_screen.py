"""The setup window on the Xvfb screen as a user meets it: found through winlist.exe (its screen
rectangle), clicked and typed into with real X input (xdotool), and photographed (ImageMagick)
into the build's screenshots folder."""

import os
import subprocess
import time
from pathlib import Path

WIDTH, HEIGHT = 590, 440

# A point of the window where no widget lies.
BACKGROUND = (300, 40)
# Where the welcome page's widgets are (window coordinates), from its layout.
CLOSE_BUTTON = (566 + 12, 0 + 12)
MINIMISE_BUTTON = (540 + 12, 0 + 12)
INSTALL_BUTTON = (195 + 100, 322 + 27)
AGREEMENT_BOX = (14 + 6, 414 + 6)
LOCATION_LINK = (486 + 30, 412 + 7)
# The location page lies at (0, 298); its widgets relative to it.
LOCATION_PAGE_Y = 298
PATH_BOX = (20 + 200, LOCATION_PAGE_Y + 46 + 18)
LOCATION_INSTALL_BUTTON = (394 + 44, LOCATION_PAGE_Y + 102 + 14)
RETURN_BUTTON = (492 + 39, LOCATION_PAGE_Y + 102 + 14)
BROWSE_BUTTON = (492 + 39, LOCATION_PAGE_Y + 46 + 18)
QUICK_LAUNCH_BOX = (20 + 6, LOCATION_PAGE_Y + 110 + 6)
# The abort card lies at (135, 115).
CONTINUE_BUTTON = (135 + 60 + 100, 115 + 124 + 22)
GIVE_UP_LINK = (135 + 160, 115 + 176 + 10)
# The progress page's bar and percentage.
PROGRESS_AREA = (0, 400, WIDTH, HEIGHT)


def screenshot_folder():
    build = os.environ.get("PELORA_BUILD_DIR")
    from e2e_fixtures import BUILD_DIR  # the same folder the tests take the programs from
    folder = Path(build or BUILD_DIR) / "screenshots"
    folder.mkdir(parents=True, exist_ok=True)
    return folder


def xdotool(display, *args):
    subprocess.run(["xdotool", *map(str, args)], check=True, capture_output=True, timeout=30,
                   env={**os.environ, "DISPLAY": display})


def photograph(display, name, left, top, width, height):
    """A part of the screen saved as {name}.png in the screenshots folder; returns the path."""
    path = screenshot_folder() / f"{name}.png"
    subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{left}+{top}", "+repage", str(path)],
                   check=True, capture_output=True, timeout=30, env={**os.environ, "DISPLAY": display})
    return path


class SetupWindow:
    """The setup's 590 x 440 window of one process."""

    def __init__(self, windows, pid, display, timeout=60):
        self._windows = windows
        self.pid = pid
        self.display = display
        deadline = time.monotonic() + timeout
        while True:
            found = [w for w in windows.find(pid=pid, wait_ms=2000) if self._is_setup_window(w)]
            if found:
                self.info = found[0]
                break
            if time.monotonic() > deadline:
                raise AssertionError(f"no setup window; the process shows {windows.find(pid=pid)}")
        self.left, self.top = self.info["rect"][0], self.info["rect"][1]
        # The pointer may rest where an earlier test left it, over a button that then shows Hover;
        # a move over the bare background puts every button back to Normal.
        self.move(BACKGROUND)

    @staticmethod
    def _is_setup_window(window):
        left, top, right, bottom = window["rect"]
        return window["class"] == "#32770" and (right - left, bottom - top) == (WIDTH, HEIGHT)

    def state(self):
        """winlist's view of the window now, or None when it is gone."""
        found = [w for w in self._windows.find(pid=self.pid) if self._is_setup_window(w)]
        return found[0] if found else None

    def path_box(self):
        """The location page's path box ({"id", "text"}), or None while the page is hidden."""
        state = self.state()
        boxes = state["edits"] if state else []
        return boxes[0] if boxes else None

    # --- input ---------------------------------------------------------------------------------
    def move(self, point):
        xdotool(self.display, "mousemove", self.left + point[0], self.top + point[1])
        time.sleep(0.15)

    def click(self, point, settle=0.5):
        self.move(point)
        xdotool(self.display, "click", "1")
        time.sleep(settle)

    def press(self, point, settle=0.5):
        """The left button goes down at `point` and stays down."""
        self.move(point)
        xdotool(self.display, "mousedown", "1")
        time.sleep(settle)

    def release(self, point, settle=0.5):
        self.move(point)
        xdotool(self.display, "mouseup", "1")
        time.sleep(settle)

    def give_up(self, setup, timeout=60):
        """Close button, then the abort card's give-up link, which acts when the button goes
        down; returns the setup's exit code."""
        self.click(CLOSE_BUTTON)
        self.press(GIVE_UP_LINK)
        try:
            return setup.wait(timeout=timeout)
        finally:
            self.release(GIVE_UP_LINK)

    def type_into_path_box(self, text):
        """Clicks into the path box, selects all with Ctrl+A and types `text` over it."""
        self.click(PATH_BOX)
        xdotool(self.display, "key", "ctrl+a")
        xdotool(self.display, "type", "--delay", "60", text)
        time.sleep(0.5)

    # --- pictures ----------------------------------------------------------------------------
    def screenshot(self, name):
        """The window's pixels as they are on the screen, saved as {name}.png; returns the path."""
        return photograph(self.display, name, self.left, self.top, WIDTH, HEIGHT)

    def screenshot_of(self, name, rect):
        """A screenshot of a screen rectangle (a message box found by winlist)."""
        left, top, right, bottom = rect
        return photograph(self.display, name, left, top, right - left, bottom - top)


def pixels(path, area):
    """The RGB bytes of an area (left, top, right, bottom) of a screenshot."""
    left, top, right, bottom = area
    out = subprocess.run(["convert", str(path), "-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage",
                          "-depth", "8", "rgb:-"], check=True, capture_output=True, timeout=30)
    return out.stdout


def changed_pixels(first, second, area):
    """How many pixels of an area differ visibly (by more than 8 in a colour) between two
    screenshots; redrawing the same page may move an anti-aliased edge by a shade."""
    a, b = pixels(first, area), pixels(second, area)
    assert len(a) == len(b)
    return sum(1 for i in range(0, len(a), 3) if max(abs(a[i + k] - b[i + k]) for k in range(3)) > 8)


def looks_checked(path, box):
    """Whether the 12 x 12 check box centred at `box` (window coordinates) shows its checked face
    in a screenshot: that face is filled with the accent colours, while the unchecked one is a faint
    white frame over the dark window."""
    x, y = box
    data = pixels(path, (x - 4, y - 4, x + 4, y + 4))
    vivid = sum(1 for i in range(0, len(data), 3) if max(data[i:i + 3]) - min(data[i:i + 3]) > 80)
    return vivid > len(data) // 3 // 2
