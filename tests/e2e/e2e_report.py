"""The report server of tools/ on loopback, as the setup program's telemetry peer, and the binary
log the setup writes beside its install log."""

import json
import subprocess
import sys
from pathlib import Path

from e2e_wine import ROOT

REPORT_SERVER = ROOT / "tools" / "report_server.py"
TLGDUMP = ROOT / "tools" / "tlgdump.py"


# The telemetry shutdown holds the end of the setup for this long at most.
DONE_SHUTDOWN_MS = 5000
# What the caller may take beyond its bound: the scheduler's slice, not a second wait. A loaded
# two-core machine keeps it: with three test workers and two busy processes beside them the
# shutdowns of the fault tests took 5001 to 5003 ms.
SCHEDULING_MARGIN_MS = 150
SHUTDOWN_STARTED = "数据上报准备退出"
SHUTDOWN_ENDED = "数据上报结束"


class ReportServer:
    """tools/report_server.py on 127.0.0.1 with a free port, in one of its fault modes (`delay`:
    the seconds the delay mode waits before its answer)."""

    def __init__(self, folder, mode="ack", time_limit=300, delay=0.0):
        self.output = Path(folder) / f"reports-{mode}.jsonl"
        self._process = subprocess.Popen(
            [sys.executable, str(REPORT_SERVER), str(self.output), "--host", "127.0.0.1", "--port", "0",
             "--mode", mode, "--time-limit", str(time_limit), "--delay", str(delay)],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        line = self._process.stdout.readline().strip()
        if not line.startswith("PORT "):
            self._process.kill()
            raise RuntimeError(f"report server did not start: {line!r} {self._process.stderr.read()}")
        self.port = int(line.split()[1])

    @property
    def address(self):
        return f"127.0.0.1:{self.port}"

    def reports(self):
        if not self.output.exists():
            return []
        return [json.loads(line) for line in self.output.read_text(encoding="utf-8").splitlines() if line]

    def stop(self):
        self._process.terminate()
        try:
            self._process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self._process.kill()

    def installer_error_codes(self):
        """The codes (res2) of every installer_error event received, in the order they came."""
        codes = []
        for report in self.reports():
            for item in report["list_reportItem"]:
                values = {value["name"]: value for value in item["list_reportValue"]}
                if values["action"]["string_value"] == "installer_error":
                    codes.append(values["res2"]["uint_value"])
        return codes


def binary_log(prefix):
    """The records of the setup's binary log, decoded by tlgdump."""
    path = prefix.appdata / "Corvane" / "Logs" / "PeloraSetup.tlg"
    out = subprocess.run([sys.executable, str(TLGDUMP), "--json", str(path)], capture_output=True, text=True)
    assert out.returncode == 0, f"tlgdump found damage: {out.stdout[-500:]} {out.stderr}"
    return [json.loads(line) for line in out.stdout.splitlines() if line.strip()]


def last_shutdown(records):
    """The binary-log records from the last start of the telemetry shutdown on."""
    starts = [i for i, r in enumerate(records) if r["message"] == SHUTDOWN_STARTED]
    assert starts, "the shutdown is not in the binary log"
    return records[starts[-1]:]


def shutdown_wait_ms(records):
    """How long the caller was held by the last shutdown, from the ticks of its own records."""
    shutdown = last_shutdown(records)
    caller = shutdown[0]["tid"]
    ended = [r for r in shutdown if r["tid"] == caller and r["message"] == SHUTDOWN_ENDED]
    assert ended, "the shutdown did not end"
    return (ended[0]["tick"] - shutdown[0]["tick"]) & 0xFFFFFFFF
