"""The funnel as plain text for a terminal: one table of installs and one of uninstalls, a row
per UTC day, version and channel, then the errors of runs that still finished, the events no
start preceded, and the input the collector refused.

Texts in the tables come from users' machines: control characters (which a terminal would obey)
are shown as escapes, and an overlong text is cut so that the columns stay aligned."""

import unicodedata

NOTHING = "–"
MULTIPLY = "×"
CELL_LIMIT = 24
_GAP = "  "

# (header lines, alignment, cell of a funnel row)
INSTALL_COLUMNS = (
    (("", "day"), "<", lambda row: row["day"]),
    (("", "version"), "<", lambda row: row["version"]),
    (("", "channel"), "<", lambda row: row["channel"]),
    (("", "started"), ">", lambda row: str(row["started"])),
    (("", "finished"), ">", lambda row: str(row["finished"])),
    (("", "abandoned"), ">", lambda row: str(row["abandoned"])),
    (("finish", "rate"), ">", lambda row: format_rate(row["finish_rate"])),
    (("median", "secs"), ">", lambda row: format_seconds(row["median_s"])),
    (("p95", "secs"), ">", lambda row: format_seconds(row["p95_s"])),
    (("failed", "by error code"), "<", lambda row: format_counts(row["failed_by_code"])),
)

UNINSTALL_COLUMNS = (
    (("", "day"), "<", lambda row: row["day"]),
    (("", "version"), "<", lambda row: row["version"]),
    (("", "channel"), "<", lambda row: row["channel"]),
    (("", "uninstalls"), ">", lambda row: str(row["uninstalls"])),
    (("removed the", "user's data"), ">", lambda row: str(row["uninstalls_removed_data"])),
    (("", "failed"), ">", lambda row: str(row["uninstalls_failed"])),
)


def format_funnel(funnel):
    """The whole report, ending with a newline."""
    rows = funnel.rows
    install_rows = [row for row in rows if row["started"]]
    uninstall_rows = [row for row in rows if row["uninstalls"]]
    parts = [_summary(funnel)]
    if install_rows:
        parts.append("Installs\n" + format_table(INSTALL_COLUMNS, install_rows))
    if uninstall_rows:
        parts.append("Uninstalls\n" + format_table(UNINSTALL_COLUMNS, uninstall_rows))
    parts.append(_errors_in_finished(install_rows))
    parts.append("Events before any start seen: " + format_counts(funnel.no_start_seen))
    parts.append("Rejected input: " + format_counts(funnel.rejects))
    return "\n\n".join(parts) + "\n"


def _summary(funnel):
    rows = funnel.rows
    started = sum(row["started"] for row in rows)
    if not rows:
        return "Install funnel: no install runs or uninstalls stored yet."
    finished = sum(row["finished"] for row in rows)
    abandoned = sum(row["abandoned"] for row in rows)
    uninstalls = sum(row["uninstalls"] for row in rows)
    return (f"Install funnel: {started} started, {finished} finished, {abandoned} abandoned, "
            f"{started - finished - abandoned} failed; {uninstalls} "
            f"{'uninstall' if uninstalls == 1 else 'uninstalls'}")


def _errors_in_finished(rows):
    lines = [(row["day"], row["version"], row["channel"], format_counts(row["errors_in_finished"]))
             for row in rows if row["errors_in_finished"]]
    if not lines:
        return "Errors in finished runs: " + NOTHING
    columns = ((("day",), "<", lambda line: line[0]), (("version",), "<", lambda line: line[1]),
               (("channel",), "<", lambda line: line[2]), (("codes",), "<", lambda line: line[3]))
    return "Errors in finished runs\n" + format_table(columns, lines)


def format_rate(rate):
    return NOTHING if rate is None else f"{rate * 100:.1f}%"


def format_seconds(seconds):
    if seconds is None:
        return NOTHING
    return str(int(seconds)) if seconds == int(seconds) else f"{seconds:.1f}"


def format_counts(counts):
    """{"3001": 1, "none": 2} -> "3001×1, none×2"; NOTHING for no counts."""
    if not counts:
        return NOTHING
    return ", ".join(f"{terminal_text(name)}{MULTIPLY}{count}" for name, count in counts.items())


def terminal_text(value, limit=CELL_LIMIT):
    """A text from a report as a terminal may show it: control and format characters escaped,
    at most `limit` columns wide (cut with "…")."""
    text = "".join(_visible(char) for char in str(value))
    if display_width(text) <= limit:
        return text
    kept, width = [], 1
    for char in text:
        width += display_width(char)
        if width > limit:
            break
        kept.append(char)
    return "".join(kept) + "…"


def _visible(char):
    if unicodedata.category(char) in ("Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp"):
        code = ord(char)
        return f"\\x{code:02x}" if code < 0x100 else f"\\u{code:04x}"
    return char


def display_width(text):
    """Terminal columns: East Asian wide characters take two, combining marks none."""
    width = 0
    for char in text:
        if unicodedata.combining(char):
            continue
        width += 2 if unicodedata.east_asian_width(char) in ("W", "F") else 1
    return width


def _pad(text, width, align):
    fill = " " * (width - display_width(text))
    return fill + text if align == ">" else text + fill


def format_table(columns, rows):
    """Rows under headers of one or more lines, columns as wide as their widest cell."""
    cells = [[terminal_text(cell(row)) for _, _, cell in columns] for row in rows]
    header_lines = max(len(header) for header, _, _ in columns)
    headers = [("",) * (header_lines - len(header)) + tuple(header) for header, _, _ in columns]
    widths = [max([display_width(line) for line in header] +
                  [display_width(row[index]) for row in cells])
              for index, header in enumerate(headers)]
    aligns = [align for _, align, _ in columns]

    def line(texts):
        return _GAP.join(_pad(text, width, align)
                         for text, width, align in zip(texts, widths, aligns)).rstrip()

    lines = [line([header[number] for header in headers]) for number in range(header_lines)]
    lines.append(_GAP.join("-" * width for width in widths))
    lines.extend(line(row) for row in cells)
    return "\n".join(lines)
