"""Install runs: the events of one device, in the order they were stored, cut at each
installer_start.

A run opens with an installer_start and takes every installer event of its device after it,
until the device's next installer_start. Its day (UTC date of when the collector stored the
start), version, channel and Windows version are those of the start. It finished when it sent an
installer_done, was abandoned when it sent an installer_abort, and otherwise failed: with the
code of its last installer_error, or with NO_ERROR_CODE when it reported no error at all.
Installer events of a device before its first start belong to no run and are kept apart, as are
the uninstallers' reports.
"""

from dataclasses import dataclass, field
from datetime import datetime, timedelta, timezone

INSTALLER_START = "installer_start"
INSTALLER_DONE = "installer_done"
INSTALLER_ABORT = "installer_abort"
INSTALLER_ERROR = "installer_error"
UNINSTALLER_DONE = "uninstaller_done"
INSTALLER_ACTIONS = (INSTALLER_START, INSTALLER_DONE, INSTALLER_ABORT, INSTALLER_ERROR)

FINISHED = "finished"
ABANDONED = "abandoned"
FAILED = "failed"

# The stop code of a failed run that reported no installer_error.
NO_ERROR_CODE = "none"
# The code of an installer_error that carried no code value.
MISSING_CODE = "no code"

_EPOCH = datetime(1970, 1, 1, tzinfo=timezone.utc)


@dataclass
class Run:
    device_key: str
    day: str
    version: str
    channel: str
    os_version: str
    saw_done: bool = False
    saw_abort: bool = False
    # Codes of the run's installer_error events, in the order they were stored.
    error_codes: list = field(default_factory=list)
    # The install time the run's installer_done reported, None without one.
    duration_s: int = None

    @property
    def outcome(self):
        if self.saw_done:
            return FINISHED
        if self.saw_abort:
            return ABANDONED
        return FAILED

    @property
    def stop_code(self):
        """The code that stopped a failed run; None for a run that did not fail."""
        if self.outcome != FAILED:
            return None
        return self.error_codes[-1] if self.error_codes else NO_ERROR_CODE


@dataclass
class Grouping:
    runs: list = field(default_factory=list)
    # Installer events (rows) seen on a device before any installer_start of that device.
    no_start: list = field(default_factory=list)
    # uninstaller_done rows.
    uninstalls: list = field(default_factory=list)


def utc_day(received_us):
    """The UTC date of a storage time in microseconds since 1970, as YYYY-MM-DD."""
    return (_EPOCH + timedelta(microseconds=received_us)).date().isoformat()


def peer_host(peer):
    """The address part of a peer as stored ("1.2.3.4:5678", "[::1]:5678" or a bare address):
    each attempt of a sender comes from a new port, so only the address names the machine."""
    peer = peer or ""
    if peer.startswith("["):
        return peer[1:peer.find("]")] if "]" in peer else peer[1:]
    if peer.count(":") == 1:
        return peer.split(":", 1)[0]
    return peer


def device_key(row):
    """The device an event belongs to: its identity (res1), or the sender's address when the
    program could not make one."""
    return row.get("device") or "@" + peer_host(row.get("peer"))


def code_text(error_code):
    return MISSING_CODE if error_code is None else str(error_code)


def _text(value):
    return "" if value is None else str(value)


def _open_run(row):
    return Run(device_key=device_key(row), day=utc_day(row["received_us"]),
               version=_text(row.get("version")), channel=_text(row.get("channel")),
               os_version=_text(row.get("os_version")))


def _add_to_run(run, row):
    action = row.get("action")
    if action == INSTALLER_DONE:
        run.saw_done = True
        run.duration_s = row.get("duration_s")
    elif action == INSTALLER_ABORT:
        run.saw_abort = True
    elif action == INSTALLER_ERROR:
        run.error_codes.append(code_text(row.get("error_code")))


def group_runs(rows):
    """Groups event rows (dicts with the events table's columns, in id order) into runs."""
    grouping = Grouping()
    open_runs = {}
    for row in rows:
        action = row.get("action")
        if action == UNINSTALLER_DONE:
            grouping.uninstalls.append(row)
        elif action == INSTALLER_START:
            run = _open_run(row)
            open_runs[run.device_key] = run
            grouping.runs.append(run)
        elif action in INSTALLER_ACTIONS:
            run = open_runs.get(device_key(row))
            if run is None:
                grouping.no_start.append(row)
            else:
                _add_to_run(run, row)
    return grouping
