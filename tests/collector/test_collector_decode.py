"""Payloads as the setup sends them, and malformed ones, turned into event rows."""

import hashlib
import json

import pytest

from collector import decode
from collector_client import add_item, make_payload, make_report, messages


def test_each_item_of_a_message_becomes_a_row_under_the_messages_header():
    report = make_report("installer_start", "device-3", seq=7, version="1.14.301")
    add_item(report, "installer_error", "device-3", res2=3005)
    add_item(report, "installer_done", "device-3", start_ts=93)
    payload = report.SerializeToString()
    decoded = decode.decode_report(payload, "192.0.2.8")
    assert decoded.digest == hashlib.sha256(payload).hexdigest()
    assert decoded.device_key == "device-3" and decoded.client_seq == 7
    rows = decoded.events
    assert [row["item_index"] for row in rows] == [0, 1, 2]
    assert [row["action"] for row in rows] == ["installer_start", "installer_error", "installer_done"]
    assert [row["error_code"] for row in rows] == [None, 3005, None]
    assert [row["duration_s"] for row in rows] == [None, None, 93]
    assert {row["client_seq"] for row in rows} == {7}
    assert {row["peer"] for row in rows} == {"192.0.2.8"}
    assert {row["message_digest"] for row in rows} == {decoded.digest}


def test_every_value_of_an_item_is_kept_in_values_json():
    report = make_report("uninstaller_done", "d", start_ts=12, res5=1, res6=0, extra="new value")
    value = report.list_reportItem[0].list_reportValue.add()
    value.string_fieldName = "ratio"
    value.valueType = messages.ReportValue.VALUE_TYPE_DOUBLE
    value.double_value = 0.25
    (row,) = decode.decode_report(report.SerializeToString(), "192.0.2.8").events
    assert json.loads(row["values_json"]) == {
        "action": "uninstaller_done", "installsrc": "30004", "res1": "d", "res3": "30004",
        "res4": "", "res5": 1, "res6": 0, "start_ts": 12, "extra": "new value", "ratio": 0.25}
    assert (row["exit_code"], row["removed_data"], row["duration_s"]) == (1, 0, 12)


def test_a_value_sent_twice_keeps_both_and_the_column_takes_the_last():
    report = make_report("installer_error", "d", res2=1)
    value = report.list_reportItem[0].list_reportValue.add()
    value.string_fieldName = "res2"
    value.valueType = messages.ReportValue.VALUE_TYPE_UINT32
    value.uint_value = 2
    (row,) = decode.decode_report(report.SerializeToString(), "192.0.2.8").events
    assert json.loads(row["values_json"])["res2"] == [1, 2] and row["error_code"] == 2


def test_a_number_sent_as_text_still_fills_its_column():
    (row,) = decode.decode_report(make_payload("installer_error", "d", res2="3001"), "h").events
    (bad,) = decode.decode_report(make_payload("installer_error", "d", res2="n/a"), "h").events
    assert row["error_code"] == 3001 and bad["error_code"] is None


def test_the_sender_address_stands_for_an_empty_device_identity():
    decoded = decode.decode_report(make_payload(device=""), "192.0.2.8")
    assert decoded.device_key == "@192.0.2.8" and decoded.events[0]["device"] == ""


def test_a_report_without_values_has_empty_columns_but_a_device():
    report = messages.ReportData()
    report.list_reportItem.add()
    (row,) = decode.decode_report(report.SerializeToString(), "h").events
    assert row["device"] == "" and row["action"] is None and row["version"] is None
    assert row["client_seq"] is None and row["values_json"] == "{}"


def test_texts_in_the_senders_ansi_code_page_are_read_as_such():
    # The setup converts its texts to code page 936 before it sends them.
    report = make_report(device="x")
    raw = bytearray(report.SerializeToString())
    gbk = "渠道".encode("gbk")
    raw = raw.replace(b"30004", gbk + b"4", 1)  # the same length: 4 + 1 bytes
    (row,) = decode.decode_report(bytes(raw), "h").events
    assert row["channel"] == "渠道4"


def test_bytes_that_fit_no_encoding_are_kept_escaped():
    assert decode.as_text(b"\xff\xfe") == "\\xff\\xfe"
    assert decode.as_text("a\x00b") == "a\\x00b"


@pytest.mark.parametrize("payload", [
    b"\xff\xff\xff\xff",
    b"GET / HTTP/1.1\r\nHost: x\r\n\r\n",
    make_payload()[:-3],
    b"\x00" + make_payload(),
    b"\x0c",
    b"\x1a\x05\x0a\x10abc",
], ids=["tag past the last field", "web request", "cut inside a field", "zero tag",
        "end-group tag without a group", "item field past its end"])
def test_bytes_that_are_no_report_are_undecodable(payload):
    with pytest.raises(decode.UndecodableReport):
        decode.decode_report(payload, "h")


def test_an_empty_payload_is_a_message_without_items():
    decoded = decode.decode_report(b"", "192.0.2.8")
    assert decoded.events == [] and decoded.device_key == "@192.0.2.8"
