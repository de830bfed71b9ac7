"""Stores for the funnel's tests: an in-memory one, and an SQLite file with the collector's
tables, filled row by row. Both offer what the funnel reads: events() in id order and
reject_counts()."""

import hashlib
import json
import sqlite3
from collections import Counter
from datetime import datetime, timezone

# The collector's tables, as its store creates them in SQLite.
EVENTS_DDL = """
CREATE TABLE IF NOT EXISTS events (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  received_us BIGINT NOT NULL,
  peer TEXT,
  device TEXT NOT NULL,
  client_seq BIGINT,
  item_index INTEGER,
  action TEXT,
  version TEXT,
  uid TEXT,
  channel TEXT,
  first_channel TEXT,
  registered_channel TEXT,
  os_version TEXT,
  error_code BIGINT,
  duration_s BIGINT,
  exit_code BIGINT,
  removed_data INTEGER,
  bid TEXT,
  tid TEXT,
  values_json TEXT,
  message_digest TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS events_device_id ON events (device, id);
CREATE INDEX IF NOT EXISTS events_received ON events (received_us);
CREATE TABLE IF NOT EXISTS device_last (device_key TEXT PRIMARY KEY, client_seq BIGINT,
                                        message_digest TEXT);
CREATE TABLE IF NOT EXISTS rejects (id INTEGER PRIMARY KEY AUTOINCREMENT, received_us BIGINT,
                                    peer TEXT, kind TEXT, detail TEXT);
"""

COLUMNS = ("received_us", "peer", "device", "client_seq", "item_index", "action", "version",
           "uid", "channel", "first_channel", "registered_channel", "os_version", "error_code",
           "duration_s", "exit_code", "removed_data", "bid", "tid", "values_json",
           "message_digest")


def at(text):
    """Microseconds since 1970 of an ISO time written in UTC ("2024-05-01T23:59:59.999999")."""
    moment = datetime.fromisoformat(text).replace(tzinfo=timezone.utc)
    return int(moment.timestamp()) * 1_000_000 + moment.microsecond


def event(action, device, when, **columns):
    """One events row as the decoder makes it for the setup's reports."""
    row = {"received_us": at(when), "peer": "127.0.0.1:50000", "device": device,
           "client_seq": 0, "item_index": 0, "action": action, "version": "1.14.301",
           "uid": "", "channel": "30004", "first_channel": "30004", "registered_channel": "",
           "os_version": "", "error_code": None, "duration_s": None, "exit_code": None,
           "removed_data": None, "bid": "b_lmq_im_active_base",
           "tid": "interactive_video_data_report"}
    row.update(columns)
    values = {"action": action, "installsrc": row["channel"], "res1": device}
    row.setdefault("values_json", json.dumps(values, ensure_ascii=False, sort_keys=True))
    row.setdefault("message_digest",
                   hashlib.sha256(repr(sorted(row.items())).encode()).hexdigest())
    return row


class MemoryStore:
    def __init__(self, rows=(), rejects=()):
        self.rows = [dict(row, id=number) for number, row in enumerate(rows, 1)]
        self.rejects = list(rejects)

    def events(self, since_us=None, until_us=None):
        for row in self.rows:
            if since_us is not None and row["received_us"] < since_us:
                continue
            if until_us is not None and row["received_us"] >= until_us:
                continue
            yield dict(row)

    def reject_counts(self):
        return dict(Counter(self.rejects))


class SqliteFileStore:
    """The tables in one SQLite file; a connection per read, so any thread may read."""

    def __init__(self, path, rows=(), rejects=()):
        self.path = str(path)
        with self._connect() as connection:
            connection.executescript(EVENTS_DDL)
        self.add(rows, rejects)

    def _connect(self):
        return sqlite3.connect(self.path)

    def describe(self):
        return "SQLite " + self.path

    def add(self, rows=(), rejects=()):
        connection = self._connect()
        try:
            with connection:
                for row in rows:
                    connection.execute(
                        f"INSERT INTO events ({', '.join(COLUMNS)}) "
                        f"VALUES ({', '.join('?' * len(COLUMNS))})",
                        [row.get(name) for name in COLUMNS])
                for kind in rejects:
                    connection.execute("INSERT INTO rejects (received_us, peer, kind, detail) "
                                       "VALUES (0, '127.0.0.1:1', ?, '')", (kind,))
        finally:
            connection.close()

    def events(self, since_us=None, until_us=None):
        connection = self._connect()
        connection.row_factory = sqlite3.Row
        try:
            query = ("SELECT * FROM events WHERE (? IS NULL OR received_us >= ?) "
                     "AND (? IS NULL OR received_us < ?) ORDER BY id")
            for row in connection.execute(query, (since_us, since_us, until_us, until_us)):
                yield dict(row)
        finally:
            connection.close()

    def reject_counts(self):
        connection = self._connect()
        try:
            return dict(connection.execute("SELECT kind, COUNT(*) FROM rejects GROUP BY kind"))
        finally:
            connection.close()


def make_store(kind, tmp_path, rows=(), rejects=()):
    if kind == "memory":
        return MemoryStore(rows, rejects)
    return SqliteFileStore(tmp_path / "reports.sqlite3", rows, rejects)


STORE_KINDS = ("memory", "sqlite")
