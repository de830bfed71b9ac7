"""The install funnel: per UTC day, version and channel, how many installs started, finished,
were abandoned or failed (by the code that stopped them), how long the finished ones took, and
how many uninstalls ran; plus the figures the page plots. Everything is computed from the store's
events each time, nothing is kept between calls."""

import re
from collections import Counter
from dataclasses import asdict, dataclass, field
from statistics import median

from collector.runs import ABANDONED, FAILED, FINISHED, group_runs, utc_day

NOT_REPORTED = "not reported"


@dataclass
class Funnel:
    # One dict per (day, version, channel), in that order; see _empty_row for the keys.
    rows: list = field(default_factory=list)
    # Rejected input by kind, as the store counted it.
    rejects: dict = field(default_factory=dict)
    # Runs started per Windows version; an empty version is NOT_REPORTED.
    os_versions: dict = field(default_factory=dict)
    # Per day with at least one start, in day order: {"day", "started", "finished"}.
    daily: list = field(default_factory=list)
    # Install times (seconds) of the finished runs that reported one, in run order.
    durations: list = field(default_factory=list)
    # Installer events stored before any installer_start of their device, by action.
    no_start_seen: dict = field(default_factory=dict)
    since_us: int = None
    until_us: int = None

    def as_dict(self):
        return asdict(self)


def compute_funnel(store, since_us=None, until_us=None):
    """The funnel of the events stored in [since_us, until_us) (None: unbounded)."""
    grouping = group_runs(store.events(since_us=since_us, until_us=until_us))
    rows = _rows(grouping)
    return Funnel(
        rows=rows,
        rejects=dict(sorted(store.reject_counts().items())),
        os_versions=dict(sorted(Counter(run.os_version or NOT_REPORTED
                                        for run in grouping.runs).items())),
        daily=_daily(grouping.runs),
        durations=[run.duration_s for run in grouping.runs
                   if run.outcome == FINISHED and run.duration_s is not None],
        no_start_seen=dict(sorted(Counter(row.get("action") for row in grouping.no_start).items())),
        since_us=since_us, until_us=until_us)


def nearest_rank(values, percent):
    """The nearest-rank percentile: the smallest value with at least `percent` % of the values
    at or below it. None for no values."""
    if not values:
        return None
    ordered = sorted(values)
    rank = (percent * len(ordered) + 99) // 100  # ceil without floating point
    return ordered[max(rank, 1) - 1]


def code_order(code):
    """Numeric codes in numeric order first, then the named ones ("none") by name."""
    return (0, int(code), "") if code.isdigit() else (1, 0, code)


def natural_order(text):
    """"1.9.0" before "1.14.301": digit runs compare as numbers."""
    return tuple((0, int(part), "") if part.isdigit() else (1, 0, part)
                 for part in re.split(r"(\d+)", text) if part)


def sorted_codes(counts):
    return dict(sorted(counts.items(), key=lambda item: code_order(item[0])))


def _empty_row(day, version, channel):
    return {"day": day, "version": version, "channel": channel,
            "started": 0, "finished": 0, "abandoned": 0, "failed_by_code": Counter(),
            "finish_rate": None, "median_s": None, "p95_s": None,
            "uninstalls": 0, "uninstalls_removed_data": 0, "uninstalls_failed": 0,
            "errors_in_finished": Counter()}


def _rows(grouping):
    rows = {}
    durations = {}

    def row_for(day, version, channel):
        key = (day, version, channel)
        if key not in rows:
            rows[key] = _empty_row(day, version, channel)
            durations[key] = []
        return rows[key], durations[key]

    for run in grouping.runs:
        row, times = row_for(run.day, run.version, run.channel)
        _count_run(row, times, run)
    for event in grouping.uninstalls:
        row, _ = row_for(utc_day(event["received_us"]), event.get("version") or "",
                         event.get("channel") or "")
        _count_uninstall(row, event)

    ordered = sorted(rows, key=lambda key: (key[0], natural_order(key[1]), key[2]))
    return [_finish_row(rows[key], durations[key]) for key in ordered]


def _count_run(row, times, run):
    row["started"] += 1
    outcome = run.outcome
    if outcome == FINISHED:
        row["finished"] += 1
        row["errors_in_finished"].update(run.error_codes)
        if run.duration_s is not None:
            times.append(run.duration_s)
    elif outcome == ABANDONED:
        row["abandoned"] += 1
    elif outcome == FAILED:
        row["failed_by_code"][run.stop_code] += 1


def _count_uninstall(row, event):
    row["uninstalls"] += 1
    if event.get("removed_data") == 1:
        row["uninstalls_removed_data"] += 1
    # A report without an exit code cannot say the uninstall worked: it counts as failed.
    if event.get("exit_code") != 0:
        row["uninstalls_failed"] += 1


def _finish_row(row, times):
    row["failed_by_code"] = sorted_codes(row["failed_by_code"])
    row["errors_in_finished"] = sorted_codes(row["errors_in_finished"])
    if row["started"]:
        row["finish_rate"] = row["finished"] / row["started"]
    if times:
        row["median_s"] = median(times)
        row["p95_s"] = nearest_rank(times, 95)
    return row


def _daily(runs):
    per_day = {}
    for run in runs:
        day = per_day.setdefault(run.day, {"day": run.day, "started": 0, "finished": 0})
        day["started"] += 1
        if run.outcome == FINISHED:
            day["finished"] += 1
    return [per_day[day] for day in sorted(per_day)]
