"""The telemetry collector (scripts/collector.sh) on loopback as the setup's report server, and its
funnel as the terminal report prints it and as the page serves it (/funnel.json)."""

import json
import re
import subprocess
import urllib.request
from pathlib import Path

from e2e_wine import ROOT

COLLECTOR = ROOT / "scripts" / "collector.sh"
SCREENSHOT = ROOT / "scripts" / "collector-screenshot.sh"
SUMMARY = re.compile(r"Install funnel: (?P<started>\d+) started, (?P<finished>\d+) finished, "
                     r"(?P<abandoned>\d+) abandoned, (?P<failed>\d+) failed; (?P<uninstalls>\d+) uninstalls?")
NOTHING = "–"


class Collector:
    """scripts/collector.sh serving an SQLite file: reports and the page each on a free loopback
    port."""

    def __init__(self, db):
        self.db = Path(db)
        self._errors = open(self.db.with_suffix(".err"), "w")
        self._process = subprocess.Popen(
            [str(COLLECTOR), "--db", str(self.db), "--listen", "127.0.0.1:0", "--http", "127.0.0.1:0"],
            stdout=subprocess.PIPE, stderr=self._errors, text=True)
        ports = {}
        while len(ports) < 2:
            line = self._process.stdout.readline()
            if not line:
                self.stop()
                raise RuntimeError(f"the collector did not start: {self.log()}")
            name, _, port = line.strip().partition(" ")
            if name in ("LISTENING", "HTTP"):
                ports[name] = int(port)
        self.port, self.http_port = ports["LISTENING"], ports["HTTP"]

    @property
    def address(self):
        """What PELORA_REPORT_SERVER names."""
        return f"127.0.0.1:{self.port}"

    def log(self):
        return self.db.with_suffix(".err").read_text(errors="replace")

    def photograph_page(self, path):
        """The page as Debian's chromium draws it, saved as a PNG at `path` (returns it)."""
        subprocess.run([str(SCREENSHOT), f"http://127.0.0.1:{self.http_port}/", str(path), "1280x1500"],
                       check=True, capture_output=True, timeout=180)
        return path

    def funnel_json(self):
        with urllib.request.urlopen(f"http://127.0.0.1:{self.http_port}/funnel.json", timeout=30) as answer:
            return json.load(answer)

    def report(self):
        """What `scripts/collector.sh report` prints for this collector's database."""
        out = subprocess.run([str(COLLECTOR), "report", "--db", str(self.db)], capture_output=True,
                             text=True, timeout=60)
        assert out.returncode == 0, out.stderr
        return out.stdout

    def stop(self):
        """SIGTERM; the collector's exit code."""
        self._process.terminate()
        try:
            return self._process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self._process.kill()
            return self._process.wait()
        finally:
            self._errors.close()


def counts(cell):
    """"1005×1, none×2" -> {"1005": 1, "none": 2}; the dash -> {}."""
    if cell.strip() in ("", NOTHING):
        return {}
    pairs = (part.strip().rsplit("×", 1) for part in cell.split(","))
    return {name: int(number) for name, number in pairs}


def table(lines):
    """The rows of a printed table, as dicts keyed by the column headers (their lines joined by a
    space). The columns lie where the dashed line under the headers has its dashes."""
    rule = next(index for index, line in enumerate(lines) if line and set(line) <= {"-", " "})
    spans = [match.span() for match in re.finditer(r"-+", lines[rule])]
    # The last column runs to the end of its line (its cells may be wider than the dashes).
    spans[-1] = (spans[-1][0], None)

    def cells(line):
        return [line[start:end].strip() for start, end in spans]

    headers = [" ".join(part for part in parts if part) for parts in zip(*map(cells, lines[:rule]))]
    rows = []
    for line in lines[rule + 1:]:
        if not line.strip():
            break
        rows.append(dict(zip(headers, cells(line))))
    return rows


def section(text, title):
    """The lines of the report's part that starts with the line `title`, or None."""
    lines = text.splitlines()
    if title not in lines:
        return None
    start = lines.index(title) + 1
    end = next((index for index in range(start, len(lines)) if not lines[index].strip()), len(lines))
    return lines[start:end]


def parse_report(text):
    """The figures of `scripts/collector.sh report`: summary, installs and uninstalls (rows as
    dicts), the errors of finished runs, the events before any start."""
    summary = SUMMARY.search(text)
    assert summary, f"no summary line in the report:\n{text}"
    installs = section(text, "Installs")
    uninstalls = section(text, "Uninstalls")
    errors = section(text, "Errors in finished runs")
    no_start = re.search(r"^Events before any start seen: (.*)$", text, re.MULTILINE)
    return {
        "summary": {name: int(value) for name, value in summary.groupdict().items()},
        "installs": table(installs) if installs else [],
        "uninstalls": table(uninstalls) if uninstalls else [],
        "errors_in_finished": table(errors) if errors else [],
        "no_start_seen": counts(no_start.group(1)) if no_start else None,
    }
