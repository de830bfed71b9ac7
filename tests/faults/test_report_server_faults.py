"""A report server that misbehaves (refuses, accepts and stays silent, answers with a web page,
answers too late) changes nothing of the install: the hidden run installs and registers the
product, ends with 0, and the telemetry shutdown holds its end no longer than its five seconds,
retrying at a steady pace meanwhile."""

import datetime

import pytest

from e2e_log import parse
from e2e_product import (EXIT_FINISHED, HIDDEN_MODE, PRODUCT_KEY, VERSION, install_log_path, version_folder,
                         windows_path_in)
from e2e_registry import reg_values
from e2e_report import (DONE_SHUTDOWN_MS, SCHEDULING_MARGIN_MS, SHUTDOWN_ENDED, ReportServer, binary_log,
                        last_shutdown, shutdown_wait_ms)

RETRY_PAUSE_WHILE_SHUTTING_DOWN_MS = 5
# The setup waits this long for the acknowledgement of a frame.
ACKNOWLEDGE_MS = 2000

SERVERS = [
    ("refuse", 0.0, "refuses every connection", "port bound, never listened on"),
    ("silent", 0.0, "accepts and never answers", "connections held open without a reply"),
    # The setup reads two bytes of the answer: the page's first two take the path of any wrong reply.
    ("garbage", 0.0, "answers garbage", "an HTTP 400 page instead of the acknowledgement"),
    ("delay", ACKNOWLEDGE_MS / 1000 + 1, "answers late", "the acknowledgement 3 s after the frame, 1 s after "
                                                         "the setup stops waiting"),
]


@pytest.mark.parametrize("mode, delay, fault, made", SERVERS, ids=[server[0] for server in SERVERS])
def test_a_misbehaving_report_server_changes_nothing_of_the_install(prefix, run_setup, tmp_path, fault_row, mode,
                                                                    delay, fault, made):
    row = fault_row(f"report server {fault}", f"tools/report_server.py on loopback, --mode {mode}: {made}",
                    "exit 0; installed and registered; end at most 5 s (+3 s) after the last log line; "
                    "shutdown wait <= 5.15 s; retries during it >= 5 ms apart; no report acknowledged")
    server = ReportServer(tmp_path, mode, delay=delay)
    try:
        prefix.env["PELORA_REPORT_SERVER"] = server.address
        code = run_setup(prefix, *HIDDEN_MODE, timeout=180)
        ended = datetime.datetime.now()
    finally:
        server.stop()

    lines = parse(install_log_path(prefix).read_bytes())
    records = binary_log(prefix)
    messages = [r["message"] for r in records]
    # installer_done is raised right after the last step's log line; the shutdown waits 5 s at most.
    after_last_line = (ended - datetime.datetime(*lines[-1].stamp)).total_seconds()
    wait_ms = shutdown_wait_ms(records)
    attempts = [r["tick"] for r in last_shutdown(records) if r["message"].startswith("准备发送数据")]
    row.observed(f"exit {code}, ended {after_last_line:.1f} s after the last log line, shutdown wait {wait_ms} ms, "
                 f"{len(attempts)} attempts during it, {len(server.reports())} reports received")

    assert code == EXIT_FINISHED
    assert (version_folder(prefix) / "Bin" / "Pelora.exe").is_file()
    key = reg_values(prefix, PRODUCT_KEY)
    assert key["Install"].lower() == windows_path_in(prefix, version_folder(prefix)).lower()
    assert key["Version"] == VERSION

    assert after_last_line <= 5 + 3
    assert wait_ms <= DONE_SHUTDOWN_MS + SCHEDULING_MARGIN_MS
    assert SHUTDOWN_ENDED in messages, "the shutdown is logged"
    assert any("发送数据失败" in m for m in messages), messages[-20:]
    assert not any("发送数据成功" in m for m in messages)

    # While shutting down, a failed report is retried after a short pause, not in a busy loop.
    assert attempts, "nothing was retried during the shutdown"
    gaps = [later - earlier for earlier, later in zip(attempts, attempts[1:])]
    assert min(gaps, default=RETRY_PAUSE_WHILE_SHUTTING_DOWN_MS) >= RETRY_PAUSE_WHILE_SHUTTING_DOWN_MS, \
        f"{len(attempts)} attempts, gaps {sorted(gaps)[:10]}"
    assert len(attempts) <= DONE_SHUTDOWN_MS // RETRY_PAUSE_WHILE_SHUTTING_DOWN_MS + 2
