"""Plots drawn as SVG text: a value per day as points on a line, counts as horizontal bars, and
a histogram of numbers. Each plot has labelled axes, a caption, a <title> on every drawn value
(a browser shows it on hover, and a reader of the file finds the number there), and says "no data
yet" when there is nothing to draw. Texts are escaped; long labels are cut with "…" and keep
their full text in the title.

Layout works with estimated text widths (an average glyph is taken as 0.6 of the font size, a
CJK one as 1): enough to keep labels apart without a font engine."""

import math
import unicodedata
from datetime import date

from collector.markup import escape, shorten

SVG_NAMESPACE = "http://www.w3.org/2000/svg"
# A CJK font after the Latin one, so that Chinese channel names and versions draw as text.
FONT_FAMILY = "'DejaVu Sans', 'WenQuanYi Micro Hei', 'Noto Sans CJK SC', sans-serif"
FONT_SIZE = 12
WIDTH = 560
PLOT_HEIGHT = 200
MARGIN_TOP = 40
MARGIN_RIGHT = 24
MARGIN_BOTTOM = 64
MAX_BARS = 12
BAR_HEIGHT = 20
BAR_MAX_HEIGHT = 28
BAR_GAP = 8
LABEL_MAX_WIDTH = 170
NO_DATA = "no data yet"

COLOUR_MARK = "#3b6ea8"
COLOUR_AXIS = "#555555"
COLOUR_GRID = "#e3e3e3"
COLOUR_TEXT = "#222222"


def text_width(text, size=FONT_SIZE):
    wide = sum(1 for char in text if unicodedata.east_asian_width(char) in ("W", "F"))
    return (0.6 * (len(text) - wide) + wide) * size


def fit_text(text, max_width, size=FONT_SIZE):
    """`text`, cut with "…" to at most max_width pixels."""
    # The estimate makes no character narrower than 0.6 em: more characters than this never fit,
    # and a megabyte-long text from a report is cut in one step.
    text = text[:int(max_width / (0.6 * size)) + 1]
    if text_width(text, size) <= max_width:
        return text
    while text and text_width(text + "…", size) > max_width:
        text = text[:-1]
    return text + "…"


def nice_step(span, max_steps):
    """The smallest of 1, 2, 5 × 10^k (k ≥ 0) that divides `span` into at most max_steps."""
    step = 1
    while True:
        for factor in (1, 2, 5):
            if span <= factor * step * max_steps:
                return factor * step
        step *= 10


def count_ticks(largest, max_steps=5):
    """Tick values from 0 to a round top at or above `largest` (at least 1)."""
    step = nice_step(max(largest, 1), max_steps)
    top = step * math.ceil(max(largest, 1) / step)
    return list(range(0, top + 1, step))


class Canvas:
    """One plot: a frame of WIDTH × height with a title above and a caption below."""

    def __init__(self, title, caption, height):
        self.title = title
        self.caption = caption
        self.height = height
        self.parts = []

    def add(self, markup):
        self.parts.append(markup)

    def text(self, x, y, text, css_class, anchor="start", size=FONT_SIZE, weight="normal"):
        self.add(_text(x, y, text, css_class, anchor, size, weight))

    def line(self, x1, y1, x2, y2, colour=COLOUR_AXIS, css_class="axis"):
        self.add(f'<line class="{css_class}" x1="{x1:.1f}" y1="{y1:.1f}" x2="{x2:.1f}" '
                 f'y2="{y2:.1f}" stroke="{colour}" stroke-width="1"/>')

    def no_data(self, left, top, right, bottom):
        self.add(f'<rect class="frame" x="{left}" y="{top}" width="{right - left}" '
                 f'height="{bottom - top}" fill="#fafafa" stroke="{COLOUR_GRID}"/>')
        self.text((left + right) / 2, (top + bottom) / 2 + 5, NO_DATA, "empty", "middle", 14)

    def svg(self):
        head = (f'<svg xmlns="{SVG_NAMESPACE}" class="plot" width="{WIDTH}" '
                f'height="{self.height}" viewBox="0 0 {WIDTH} {self.height}" role="img" '
                f'font-family="{escape(FONT_FAMILY)}" font-size="{FONT_SIZE}">'
                f'<title>{escape(self.title)}</title>')
        title = _text(12, 22, self.title, "plot-title", size=15, weight="bold")
        caption = _text(12, self.height - 12, self.caption, "caption", size=11)
        return head + title + "".join(self.parts) + caption + "</svg>"


def _text(x, y, text, css_class, anchor="start", size=FONT_SIZE, weight="normal"):
    return (f'<text class="{css_class}" x="{x:.1f}" y="{y:.1f}" text-anchor="{anchor}" '
            f'font-size="{size}" font-weight="{weight}" fill="{COLOUR_TEXT}">{escape(text)}</text>')


def _mark_title(text):
    return f"<title>{escape(text)}</title>"


def counted(count, unit):
    """"1 run", "2 runs": `unit` is (singular, plural)."""
    return f"{count} {unit[0] if count == 1 else unit[1]}"


def _y_axis(canvas, ticks, left, right, y_of, label_of):
    for value in ticks:
        y = y_of(value)
        canvas.add(f'<g class="tick y" data-value="{value}">')
        canvas.line(left, y, right, y, COLOUR_GRID if value else COLOUR_AXIS, "grid")
        canvas.text(left - 6, y + 4, label_of(value), "tick-label", "end")
        canvas.add("</g>")


def _x_tick(canvas, x, top, bottom, label, value):
    canvas.add(f'<g class="tick x" data-value="{escape(value)}">')
    canvas.line(x, bottom, x, bottom + 4)
    canvas.text(x, bottom + 17, label, "tick-label", "middle")
    canvas.add("</g>")


def daily_percent_plot(points, title, caption):
    """points: (ISO day, fraction 0..1, note for the title) in day order; one point per day,
    placed by date, so that days without a value leave their gap."""
    canvas = Canvas(title, caption, MARGIN_TOP + PLOT_HEIGHT + MARGIN_BOTTOM)
    left, right = 56, WIDTH - MARGIN_RIGHT
    top, bottom = MARGIN_TOP, MARGIN_TOP + PLOT_HEIGHT
    if not points:
        canvas.no_data(left, top, right, bottom)
        return canvas.svg()

    def y_of(percent):
        return bottom - percent / 100 * (bottom - top)

    _y_axis(canvas, range(0, 101, 25), left, right, y_of, lambda value: f"{value}%")
    days = [date.fromisoformat(day) for day, _, _ in points]
    first, span = days[0], (days[-1] - days[0]).days
    label_room = text_width("0000-00-00") + 12
    # The first and last date labels stay inside the plot, clear of the y-axis labels.
    inner = label_room / 2

    def x_of(day):
        if span == 0:
            return (left + right) / 2
        return left + inner + (day - first).days / span * (right - left - 2 * inner)

    stride = max(1, math.ceil((span + 1) * label_room / (right - left - 2 * inner)))
    for offset in range(0, span + 1, stride):
        day = date.fromordinal(first.toordinal() + offset)
        _x_tick(canvas, x_of(day), top, bottom, day.isoformat(), day.isoformat())
    canvas.line(left, bottom, right, bottom)

    coordinates = [(x_of(day), y_of(fraction * 100)) for day, (_, fraction, _) in zip(days, points)]
    path = " ".join(f"{x:.1f},{y:.1f}" for x, y in coordinates)
    canvas.add(f'<polyline class="line" points="{path}" fill="none" stroke="{COLOUR_MARK}" '
               f'stroke-width="2"/>')
    for (x, y), (day, fraction, note) in zip(coordinates, points):
        canvas.add(f'<circle class="point" data-day="{day}" cx="{x:.1f}" cy="{y:.1f}" r="4" '
                   f'fill="{COLOUR_MARK}">{_mark_title(f"{day}: {fraction * 100:.1f}% {note}")}'
                   f'</circle>')
    return canvas.svg()


def _lump(bars):
    """At most MAX_BARS bars: the rest summed into one."""
    if len(bars) <= MAX_BARS:
        return list(bars)
    rest = bars[MAX_BARS - 1:]
    return list(bars[:MAX_BARS - 1]) + [(f"{len(rest)} others", sum(count for _, count in rest))]


def bar_plot(bars, title, caption, unit):
    """bars: (label, count) in the order to draw, top to bottom; `unit` names what is counted
    (singular, plural), for the titles."""
    bars = _lump(bars)
    # As tall as the other plots while the bars fit, taller when they do not.
    rows_height = max(PLOT_HEIGHT, len(bars) * (BAR_HEIGHT + BAR_GAP))
    canvas = Canvas(title, caption, MARGIN_TOP + rows_height + MARGIN_BOTTOM)
    top, bottom = MARGIN_TOP, MARGIN_TOP + rows_height
    if not bars:
        canvas.no_data(24, top, WIDTH - MARGIN_RIGHT, bottom)
        return canvas.svg()
    labels = [fit_text(label, LABEL_MAX_WIDTH) for label, _ in bars]
    left = 20 + max(text_width(label) for label in labels)
    right = WIDTH - MARGIN_RIGHT - text_width(str(max(count for _, count in bars))) - 8
    ticks = count_ticks(max(count for _, count in bars))

    def x_of(count):
        return left + count / ticks[-1] * (right - left)

    for value in ticks:
        _x_tick(canvas, x_of(value), top, bottom, str(value), value)
        canvas.line(x_of(value), top, x_of(value), bottom, COLOUR_GRID, "grid")
    step = rows_height / len(bars)
    thickness = min(BAR_MAX_HEIGHT, step - BAR_GAP)
    for index, ((label, count), shown) in enumerate(zip(bars, labels)):
        y = top + index * step + (step - thickness) / 2
        middle = y + thickness / 2 + 4
        canvas.text(left - 8, middle, shown, "bar-label", "end")
        canvas.add(f'<rect class="bar" x="{left:.1f}" y="{y:.1f}" '
                   f'width="{x_of(count) - left:.1f}" height="{thickness:.1f}" '
                   f'fill="{COLOUR_MARK}">{_mark_title(f"{shorten(label)}: {counted(count, unit)}")}</rect>')
        canvas.text(x_of(count) + 4, middle, str(count), "bar-value")
    canvas.line(left, top, left, bottom)
    canvas.line(left, bottom, right, bottom)
    return canvas.svg()


def histogram_bins(values, max_bins=12):
    """(bin width, [(low, count)]) covering all values with round, equal bins; a bin holds
    low ≤ value < low + width."""
    low, high = min(values), max(values)
    width = nice_step(max(high - low, 1), max_bins - 1)
    start = math.floor(low / width) * width
    counts = [0] * (math.floor((high - start) / width) + 1)
    for value in values:
        counts[math.floor((value - start) / width)] += 1
    return width, [(start + index * width, count) for index, count in enumerate(counts)]


def histogram_plot(values, title, caption, unit, axis_label, value_unit="s"):
    """A histogram of `values` (numbers); `unit` names what is counted (singular, plural),
    `axis_label` the values, and `value_unit` their unit."""
    canvas = Canvas(title, caption, MARGIN_TOP + PLOT_HEIGHT + MARGIN_BOTTOM)
    left, right = 56, WIDTH - MARGIN_RIGHT
    top, bottom = MARGIN_TOP, MARGIN_TOP + PLOT_HEIGHT
    if not values:
        canvas.no_data(left, top, right, bottom)
        return canvas.svg()
    width, bins = histogram_bins(values)
    start, end = bins[0][0], bins[-1][0] + width
    ticks = count_ticks(max(count for _, count in bins))

    def x_of(value):
        return left + (value - start) / (end - start) * (right - left)

    def y_of(count):
        return bottom - count / ticks[-1] * (bottom - top)

    _y_axis(canvas, ticks, left, right, y_of, str)
    edges = [start + index * width for index in range(len(bins) + 1)]
    label_room = max(text_width(f"{edge}") for edge in edges) + 12
    stride = max(1, math.ceil(label_room / (x_of(start + width) - x_of(start))))
    for edge in edges[::stride]:
        _x_tick(canvas, x_of(edge), top, bottom, str(edge), edge)
    for low, count in bins:
        if count:
            note = f"{low}–{low + width} {value_unit}: {counted(count, unit)}"
            canvas.add(f'<rect class="bar" x="{x_of(low) + 1:.1f}" y="{y_of(count):.1f}" '
                       f'width="{x_of(low + width) - x_of(low) - 2:.1f}" '
                       f'height="{y_of(0) - y_of(count):.1f}" fill="{COLOUR_MARK}">'
                       f'{_mark_title(note)}</rect>')
    canvas.line(left, bottom, right, bottom)
    canvas.text((left + right) / 2, bottom + 34, axis_label, "axis-label", "middle")
    return canvas.svg()
