"""The plots read back as XML: every drawn bar and point stands for its number on the plot's own
axes, texts from reports stay texts, and an empty plot says so."""

import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2]))

from collector import svg  # noqa: E402

NS = "{http://www.w3.org/2000/svg}"
# DejaVu Sans draws a digit 0.636 em wide and a hyphen 0.361 em: "2024-05-01" at 12 px.
DATE_LABEL_PX = (8 * 0.636 + 2 * 0.361) * 12


def parse(text):
    return ET.fromstring(text)


def marks(root, css_class, tag=None):
    return [element for element in root.iter()
            if element.get("class") == css_class and (tag is None or element.tag == NS + tag)]


def title(element):
    return element.find(NS + "title").text


def ticks(root, axis):
    """{tick value: position} of one axis, from the tick marks the plot drew."""
    found = {}
    for group in marks(root, f"tick {axis}", "g"):
        line = group.find(NS + "line")
        found[group.get("data-value")] = float(line.get("y1" if axis == "y" else "x1"))
    return found


def rect_box(rect):
    return tuple(float(rect.get(name)) for name in ("x", "y", "width", "height"))


def test_bars_are_as_long_as_their_counts_on_the_drawn_axis():
    bars = [("3001", 8), ("none (no error sent)", 7), ("3002", 5), ("<script>x</script>", 3)]
    text = svg.bar_plot(bars, "Error codes", "Failed runs by code.", ("run", "runs"))
    assert "<script" not in text
    root = parse(text)
    rects = marks(root, "bar", "rect")
    assert [title(rect) for rect in rects] == ["3001: 8 runs", "none (no error sent): 7 runs",
                                               "3002: 5 runs", "<script>x</script>: 3 runs"]
    assert [label.text for label in marks(root, "bar-label")] == [label for label, _ in bars]
    x_ticks = ticks(root, "x")
    zero, top_value = x_ticks["0"], max(int(value) for value in x_ticks)
    pixels_per_count = (x_ticks[str(top_value)] - zero) / top_value
    for rect, (_, count) in zip(rects, bars):
        x, y, width, height = rect_box(rect)
        assert x == pytest.approx(zero, abs=0.1)
        assert width == pytest.approx(count * pixels_per_count, abs=0.1)
    tops = [rect_box(rect)[1] for rect in rects]
    assert tops == sorted(tops), "bars are drawn top to bottom in the given order"
    heights = {rect_box(rect)[3] for rect in rects}
    assert len(heights) == 1 and min(heights) > 0


def test_more_bars_than_fit_are_summed_into_one_and_long_labels_are_cut():
    long_label = "Windows 10 企业版 LTSC 2019 (build 17763.1234, this text runs on and on)"
    bars = [(long_label, 15)] + [(f"v{count}", count) for count in range(14, 0, -1)]
    root = parse(svg.bar_plot(bars, "Windows versions", "Runs by version.", ("run", "runs")))
    rects = marks(root, "bar", "rect")
    assert len(rects) == svg.MAX_BARS
    assert title(rects[-1]) == "4 others: 10 runs"
    counts = [int(re.search(r": (\d+) runs$", title(rect)).group(1)) for rect in rects]
    assert sum(counts) == sum(count for _, count in bars)
    first_label = marks(root, "bar-label")[0].text
    assert first_label.endswith("…") and long_label.startswith(first_label[:-1])
    assert title(rects[0]) == f"{long_label}: 15 runs"
    # The cut label, drawn right-aligned at the bar's start, stays inside the plot.
    assert svg.text_width(first_label) <= float(marks(root, "bar-label")[0].get("x"))


def test_one_point_per_day_placed_by_date_and_by_rate():
    points = [("2024-05-01", 0.5, "(1 of 2)"), ("2024-05-02", 1.0, "(3 of 3)"),
              ("2024-05-05", 0.0, "(0 of 4)")]
    root = parse(svg.daily_percent_plot(points, "Finish rate", "Share finished per day."))
    circles = marks(root, "point", "circle")
    assert [circle.get("data-day") for circle in circles] == [day for day, _, _ in points]
    assert [title(circle) for circle in circles] == [
        "2024-05-01: 50.0% (1 of 2)", "2024-05-02: 100.0% (3 of 3)", "2024-05-05: 0.0% (0 of 4)"]
    y_ticks = ticks(root, "y")
    zero, hundred = y_ticks["0"], y_ticks["100"]
    assert hundred < zero, "100% is drawn above 0%"
    for circle, (_, fraction, _) in zip(circles, points):
        assert float(circle.get("cy")) == pytest.approx(zero + fraction * (hundred - zero), abs=0.1)
    xs = [float(circle.get("cx")) for circle in circles]
    assert xs[2] - xs[1] == pytest.approx(3 * (xs[1] - xs[0]), abs=0.2)
    x_ticks = ticks(root, "x")
    assert x_ticks["2024-05-01"] == pytest.approx(xs[0], abs=0.1)
    line = marks(root, "line", "polyline")[0].get("points").split()
    assert len(line) == len(points)


def test_date_labels_of_a_long_period_keep_apart_and_inside_the_plot():
    points = [(f"2024-{month:02d}-{day:02d}", day / 31, "") for month in (3, 4, 5)
              for day in range(1, 29)]
    root = parse(svg.daily_percent_plot(points, "Finish rate", "Share finished per day."))
    assert len(marks(root, "point", "circle")) == len(points)
    positions = sorted(ticks(root, "x").values())
    assert len(positions) >= 4
    assert min(b - a for a, b in zip(positions, positions[1:])) > DATE_LABEL_PX + 4
    y_labels_end = min(float(element.get("x")) for element in marks(root, "tick-label")
                       if element.text.endswith("%"))
    assert positions[0] - DATE_LABEL_PX / 2 > y_labels_end
    assert positions[-1] + DATE_LABEL_PX / 2 < svg.WIDTH


def test_histogram_bins_hold_every_value_once_with_heights_by_count():
    durations = [3, 14, 15, 17, 29, 41, 41, 41, 120]
    root = parse(svg.histogram_plot(durations, "Install time", "Finished installs.",
                                    ("install", "installs"), "install time (seconds)"))
    rects = marks(root, "bar", "rect")
    bins = []
    for rect in rects:
        low, high, count = re.fullmatch(r"(\d+)–(\d+) s: (\d+) installs?", title(rect)).groups()
        bins.append((int(low), int(high), int(count), rect_box(rect)))
    for low, high, count, _ in bins:
        assert count == sum(1 for value in durations if low <= value < high)
    assert sum(count for _, _, count, _ in bins) == len(durations)
    widths = {high - low for low, high, _, _ in bins}
    assert len(widths) == 1
    y_ticks = ticks(root, "y")
    zero = y_ticks["0"]
    per_count = (y_ticks["4"] - zero) / 4
    assert per_count < 0, "counts grow upwards"
    x_ticks = ticks(root, "x")
    for low, high, count, (x, y, width, height) in bins:
        assert y + height == pytest.approx(zero, abs=0.1)
        assert -height == pytest.approx(count * per_count, abs=0.1)
        if str(low) in x_ticks:
            assert x == pytest.approx(x_ticks[str(low)] + 1, abs=0.1)
    lefts = sorted((box[0], box[0] + box[2]) for _, _, _, box in bins)
    assert all(end <= start for (_, end), (start, _) in zip(lefts, lefts[1:]))


@pytest.mark.parametrize("plot", [
    lambda: svg.bar_plot([], "Error codes", "Failed runs by code.", ("run", "runs")),
    lambda: svg.daily_percent_plot([], "Finish rate", "Share finished per day."),
    lambda: svg.histogram_plot([], "Install time", "Finished installs.", ("install", "installs"),
                               "seconds"),
])
def test_a_plot_without_data_says_so_and_draws_no_marks(plot):
    root = parse(plot())
    assert [element.text for element in marks(root, "empty")] == [svg.NO_DATA]
    assert not marks(root, "bar") and not marks(root, "point")
    assert marks(root, "caption")[0].text


def test_values_xml_cannot_carry_are_replaced_not_passed_on():
    text = svg.bar_plot([("bad\x00\x1b\ufffe", 2)], "Windows versions", "Runs.", ("run", "runs"))
    label = marks(parse(text), "bar-label")[0].text
    assert label == "bad\ufffd\ufffd\ufffd"
