"""A report's payload (a serialised ReportData) as the rows of the events table.

Every item of the message becomes one row: the header fields and the item's known values in
columns of their own, and every value of the item in values_json, so that nothing an item carries
is lost when a program sends a value the columns do not know.
"""

import dataclasses
import hashlib
import json
import warnings

from collector import schema

# The item values that have columns of their own: value name -> (column, kind).
VALUE_COLUMNS = {
    "action": ("action", "text"),
    "installsrc": ("channel", "text"),
    "res1": ("device", "text"),
    "res2": ("error_code", "int"),
    "res3": ("first_channel", "text"),
    "res4": ("registered_channel", "text"),
    "res5": ("exit_code", "int"),
    "res6": ("removed_data", "int"),
    "start_ts": ("duration_s", "int"),
}

# ReportValue.valueType (VALUE_TYPE_UINT32, _STRING, _DOUBLE) -> the field that holds the value.
VALUE_FIELD_OF_TYPE = {1: "uint_value", 2: "string_value", 3: "double_value"}

# Texts the programs send are in the sender's ANSI code page, which is 936 (GBK) on the machines
# they are made for; protobuf hands over texts that are not UTF-8 as bytes.
ANSI_ENCODING = "gb18030"


class UndecodableReport(Exception):
    """The payload is not a ReportData."""


@dataclasses.dataclass(frozen=True)
class Report:
    """One decoded message: what deduplication needs and the rows to store."""
    digest: str       # SHA-256 of the whole payload, hex
    device_key: str   # res1 of the first item, or "@" + the sender's IP when that is empty
    client_seq: object
    events: list      # one dict per item, keyed by events columns (not id and received_us)


def as_text(value):
    """A value as storable text: bytes read as UTF-8 or else the ANSI code page; no NUL, which
    PostgreSQL's text cannot hold."""
    if value is None:
        return None
    if isinstance(value, bytes):
        for encoding in ("utf-8", ANSI_ENCODING):
            try:
                value = value.decode(encoding)
                break
            except UnicodeDecodeError:
                continue
        else:
            value = value.decode("utf-8", errors="backslashreplace")
    elif not isinstance(value, str):
        value = repr(value) if isinstance(value, float) else str(value)
    return value.replace("\x00", "\\x00")


def as_int(value):
    """A value as an integer column, or None when it is not a whole number."""
    if isinstance(value, bool) or value is None:
        return None
    if isinstance(value, int):
        return value
    if isinstance(value, float):
        return int(value) if value.is_integer() else None
    try:
        return int(as_text(value).strip())
    except ValueError:
        return None


def _field(message, name):
    return getattr(message, name) if message.HasField(name) else None


def _value_of(value):
    """The content of one ReportValue: by its declared type, else whichever field it has."""
    declared = VALUE_FIELD_OF_TYPE.get(_field(value, "valueType"))
    for name in ([declared] if declared else []) + list(VALUE_FIELD_OF_TYPE.values()):
        if value.HasField(name):
            content = getattr(value, name)
            return as_text(content) if name == "string_value" else content
    return None


def item_values(item):
    """The values of an item by name; a name sent more than once keeps every value, in a list."""
    values = {}
    for value in item.list_reportValue:
        name = as_text(_field(value, "string_fieldName")) or ""
        content = _value_of(value)
        if name not in values:
            values[name] = content
        elif isinstance(values[name], list):
            values[name].append(content)
        else:
            values[name] = [values[name], content]
    return values


def _single(content):
    return content[-1] if isinstance(content, list) else content


def _event_row(report, item, index, values, peer_ip, digest):
    row = {column: None for column, _ in VALUE_COLUMNS.values()}
    for name, (column, kind) in VALUE_COLUMNS.items():
        if name in values:
            content = _single(values[name])
            row[column] = as_int(content) if kind == "int" else as_text(content)
    row.update(
        peer=peer_ip,
        device=row["device"] or "",
        client_seq=_field(report, "uint_clientSeq"),
        item_index=index,
        version=as_text(_field(report, "string_clientVersion")),
        uid=as_text(_field(report, "string_uid")),
        os_version=as_text(_field(report, "string_osVersion")),
        bid=as_text(_field(item, "string_bid")),
        tid=as_text(_field(item, "string_tid")),
        values_json=json.dumps(values, ensure_ascii=False, sort_keys=True),
        message_digest=digest)
    return row


def parse_report_data(payload, messages):
    """The ReportData in `payload`; raises UndecodableReport for bytes that are not one."""
    report = messages.ReportData()
    # The C++ parser stops at a zero or end-group tag and says so only with a warning: that
    # payload did not parse either.
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        try:
            report.ParseFromString(payload)
        except Exception as error:  # protobuf's DecodeError and its C++ variants
            raise UndecodableReport("%d bytes: %s" % (len(payload), error)) from None
    for warning in caught:
        if issubclass(warning.category, RuntimeWarning):
            raise UndecodableReport("%d bytes: %s" % (len(payload), warning.message))
    return report


def decode_report(payload, peer_ip):
    """The Report in `payload` sent from `peer_ip`; raises UndecodableReport."""
    messages = schema.load_messages()
    report = parse_report_data(payload, messages)
    digest = hashlib.sha256(payload).hexdigest()
    events = []
    for index, item in enumerate(report.list_reportItem):
        events.append(_event_row(report, item, index, item_values(item), peer_ip, digest))
    device = events[0]["device"] if events else ""
    return Report(digest=digest, device_key=device or "@" + peer_ip,
                  client_seq=_field(report, "uint_clientSeq"), events=events)
