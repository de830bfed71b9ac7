"""The funnel page: what the product team reads in a browser. The funnel table, four plots
(finish rate per day, the codes that stopped installs, how long installs take, the Windows
versions they ran on) and the lists below them, in one HTML document without scripts. Every
text that came from a report is escaped."""

import re

from collector import svg
from collector.funnel import code_order
from collector.runs import NO_ERROR_CODE
from collector.markup import escape, shorten
from collector.report_text import format_counts, format_rate, format_seconds

PAGE_TITLE = "PeloraSetup install funnel"
NO_ERROR_LABEL = "none (no error sent)"

# (header, cell of a funnel row, class of the column: "text" (kept on one line),
# "wraps" (texts of any length from reports) or "number")
TABLE_COLUMNS = (
    ("day", lambda row: row["day"], "text"),
    ("version", lambda row: row["version"], "text"),
    ("channel", lambda row: row["channel"], "wraps"),
    ("started", lambda row: row["started"], "number"),
    ("finished", lambda row: row["finished"], "number"),
    ("abandoned", lambda row: row["abandoned"], "number"),
    ("failed by error code", lambda row: format_counts(row["failed_by_code"]), "wraps"),
    ("finish rate", lambda row: format_rate(row["finish_rate"]), "number"),
    ("median time (s)", lambda row: format_seconds(row["median_s"]), "number"),
    ("p95 time (s)", lambda row: format_seconds(row["p95_s"]), "number"),
    ("uninstalls", lambda row: row["uninstalls"], "number"),
    ("removed user data", lambda row: row["uninstalls_removed_data"], "number"),
    ("failed uninstalls", lambda row: row["uninstalls_failed"], "number"),
)

STYLE = """
body { font-family: %s; color: #222; margin: 24px 32px; background: #fff; }
h1 { font-size: 22px; margin: 0 0 4px; }
h2 { font-size: 17px; margin: 28px 0 8px; }
.source { color: #555; margin: 0 0 16px; }
.plots { display: flex; flex-wrap: wrap; gap: 16px; }
figure { margin: 0; }
.plots svg { border: 1px solid #ddd; background: #fff; }
table { border-collapse: collapse; font-size: 13px; }
th, td { border-bottom: 1px solid #ddd; padding: 4px 10px; text-align: left; }
th { vertical-align: bottom; }
th { background: #f2f2f2; font-weight: 600; }
td.text { white-space: nowrap; }
td.wraps { overflow-wrap: anywhere; min-width: 10em; }
td.number, th.number { text-align: right; font-variant-numeric: tabular-nums; }
ul { margin: 4px 0; }
""" % svg.FONT_FAMILY


def hide_password(text):
    """A database URL without its password."""
    return re.sub(r"(://[^:/@]*:)[^@/]*@", r"\1***@", text)


def database_label(store):
    """What the page names as its source: the store's own description when it has one."""
    describe = getattr(store, "describe", None)
    if callable(describe):
        return hide_password(str(describe()))
    for name in ("url", "path", "location"):
        value = getattr(store, name, None)
        if value:
            return hide_password(str(value))
    return type(store).__name__


def total_by_code(rows, key):
    totals = {}
    for row in rows:
        for code, count in row[key].items():
            totals[code] = totals.get(code, 0) + count
    return totals


def _by_count(counts, order=str):
    return sorted(counts.items(), key=lambda item: (-item[1], order(item[0])))


def plots(funnel):
    """The four plots, as SVG texts."""
    rate_points = [(day["day"], day["finished"] / day["started"],
                    f"({day['finished']} of {day['started']} runs finished)")
                   for day in funnel.daily if day["started"]]
    codes = [(NO_ERROR_LABEL if code == NO_ERROR_CODE else code, count) for code, count in
             _by_count(total_by_code(funnel.rows, "failed_by_code"), code_order)]
    return [
        svg.daily_percent_plot(rate_points, "Finish rate per day",
                               "Share of the install runs started each UTC day that finished."),
        svg.bar_plot(codes, "Error codes that stopped installs",
                     "Failed runs by the last error code they sent.", ("run", "runs")),
        svg.histogram_plot(funnel.durations, "Install time",
                           "Finished installs by the time they took.", ("install", "installs"),
                           "install time (seconds)"),
        svg.bar_plot(_by_count(funnel.os_versions), "Windows versions",
                     "Install runs started, by the Windows version they reported.",
                     ("run", "runs")),
    ]


def _table(rows):
    if not rows:
        return '<p class="empty">No install runs or uninstalls stored yet.</p>'
    head = "".join(f'<th class="{kind}">{escape(header)}</th>' for header, _, kind in TABLE_COLUMNS)
    body = []
    for row in rows:
        cells = "".join(f'<td class="{kind}">{escape(shorten(cell(row)))}</td>'
                        for _, cell, kind in TABLE_COLUMNS)
        body.append(f"<tr>{cells}</tr>")
    return (f'<table class="funnel"><thead><tr>{head}</tr></thead>'
            f'<tbody>{"".join(body)}</tbody></table>')


def _errors_in_finished(rows):
    items = [f"<li>{escape(row['day'])} · {escape(shorten(row['version']))} · "
             f"{escape(shorten(row['channel']))}: "
             f"{escape(format_counts(row['errors_in_finished']))}</li>"
             for row in rows if row["errors_in_finished"]]
    return f"<ul>{''.join(items)}</ul>" if items else "<p>none</p>"


def _counts(counts):
    return format_counts(counts) if counts else "none"


def render_page(funnel, database, drawn_at):
    """The whole page; `database` names the source, `drawn_at` is an aware datetime."""
    drawn = drawn_at.strftime("%Y-%m-%d %H:%M:%S UTC")
    figures = "".join(f"<figure>{plot}</figure>" for plot in plots(funnel))
    return f"""<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<title>{escape(PAGE_TITLE)}</title>
<style>{STYLE}</style></head>
<body>
<h1>{escape(PAGE_TITLE)}</h1>
<p class="source">Database: <code class="database">{escape(database)}</code> · drawn
<time class="drawn">{escape(drawn)}</time> · <a href="/funnel.json">funnel.json</a></p>
<div class="plots">{figures}</div>
<h2>Runs by day, version and channel</h2>
{_table(funnel.rows)}
<h2>Errors in finished runs</h2>
{_errors_in_finished(funnel.rows)}
<h2>Events before any start seen</h2>
<p class="no-start">{escape(_counts(funnel.no_start_seen))}</p>
<h2>Rejected input</h2>
<p class="rejects">{escape(_counts(funnel.rejects))}</p>
</body></html>
"""
