"""What a hidden install reports: installer_start and installer_done (with any single-step
errors between them) reach the report server on loopback as acknowledged frames, and a server name
whose lookup never ends holds the install up for no more than the shutdown's five seconds. (A
server that refuses, stays silent or answers wrongly or late is among the fault tests.)"""

import os

import pytest

from e2e_product import EXIT_FINISHED, HIDDEN_MODE, VERSION
from e2e_report import DONE_SHUTDOWN_MS, SCHEDULING_MARGIN_MS, ReportServer, binary_log, shutdown_wait_ms

BID = "b_lmq_im_active_base"
TID = "interactive_video_data_report"


@pytest.fixture
def report_server(tmp_path):
    servers = []

    def start(mode="ack"):
        server = ReportServer(tmp_path, mode)
        servers.append(server)
        return server

    yield start
    for server in servers:
        server.stop()


def items_in_order(reports):
    return [item for report in sorted(reports, key=lambda r: r["uint_clientSeq"]) for item in report["list_reportItem"]]


def values_of(item):
    return {value["name"]: value for value in item["list_reportValue"]}


def action(item):
    return values_of(item)["action"]["string_value"]


def test_a_hidden_install_reports_start_and_done(prefix, run_setup, report_server):
    server = report_server("ack")
    prefix.env["PELORA_REPORT_SERVER"] = server.address
    assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED

    reports = server.reports()
    assert reports, "no report reached the server"
    assert sorted(r["uint_clientSeq"] for r in reports) == list(range(len(reports)))
    for report in reports:
        assert report["terminalType"] == "TERMINAL_TYPE_PC"
        assert report["string_clientVersion"] == VERSION
        assert report["string_clientBuild"] == "", "header fields are always set; the build stays empty"
        assert report["reply"] == "ack"

    items = items_in_order(reports)
    # A first install on a clean machine has no step that fails: start and done, nothing between.
    assert [action(item) for item in items] == ["installer_start", "installer_done"]

    identities = set()
    for item in items:
        assert item["string_bid"] == BID
        assert item["string_tid"] == TID
        names = [value["name"] for value in item["list_reportValue"]]
        assert names == sorted(names), "values travel in ascending order of their names"
        values = values_of(item)
        assert values["installsrc"]["string_value"] == "30004"
        assert values["res3"]["string_value"] == "30004", "no first channel yet: the source stands in"
        assert "string_value" in values["res4"] and values["res4"]["string_value"] == ""
        assert "src" not in values
        identities.add(values["res1"]["string_value"])
    assert [v["name"] for v in items[0]["list_reportValue"]] == ["action", "installsrc", "res1", "res3", "res4"]
    done = values_of(items[-1])
    assert [v["name"] for v in items[-1]["list_reportValue"]] == \
        ["action", "installsrc", "res1", "res3", "res4", "start_ts"]
    assert done["start_ts"]["type"] == "VALUE_TYPE_UINT32"
    assert 0 <= done["start_ts"]["uint_value"] < 180
    assert len(identities) == 1, "every event carries the same device identity"


def test_a_server_name_lookup_that_never_answers_delays_the_end_by_at_most_the_shutdown_wait(
        prefix, run_setup, tmp_path):
    """The report server's name never resolves: its lookup blocks for the whole run. The install
    still finishes, and the shutdown holds it no longer than its five seconds."""
    # The resolver reads the file named by HOSTALIASES for a host name without dots; a FIFO that
    # nobody writes makes that read, and so the lookup, block.
    aliases = tmp_path / "hostaliases"
    os.mkfifo(aliases)
    prefix.env["HOSTALIASES"] = str(aliases)
    prefix.env["PELORA_REPORT_SERVER"] = "pelorareports:8000"
    try:
        assert run_setup(prefix, *HIDDEN_MODE, timeout=180) == EXIT_FINISHED
    finally:
        release_readers(aliases)

    records = binary_log(prefix)
    assert shutdown_wait_ms(records) <= DONE_SHUTDOWN_MS + SCHEDULING_MARGIN_MS
    messages = [r["message"] for r in records]
    # The one report thread went into the lookup with the first report and never came back.
    assert [m for m in messages if m.startswith("准备发送数据")] == ["准备发送数据0>>>"]
    assert not any("发送数据成功" in m or "发送数据失败" in m for m in messages)


def release_readers(fifo):
    """Lets a reader still blocked on the FIFO go (it reads end of file)."""
    try:
        os.close(os.open(fifo, os.O_WRONLY | os.O_NONBLOCK))
    except OSError:
        pass  # no reader left
