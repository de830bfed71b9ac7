"""Stores for the funnel's tests: an in-memory one, and an SQLite file with the collector's
tables, filled row by row. Both offer what the funnel reads: events() in id order and
reject_counts()."""

import hashlib
import json
import sqlite3
from collections import Counter
from datetime import datetime, timezone

from collector.store import EVENT_COLUMNS, INSERT_EVENT, INSERT_REJECT, open_store

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
    """The collector's own SQLite store, its tables made by the store itself and filled row by
    row as its writer would; reads go through the store."""

    def __init__(self, path, rows=(), rejects=()):
        self.path = str(path)
        self.store = open_store(self.path)
        self.add(rows, rejects)

    def describe(self):
        return self.store.describe()

    def add(self, rows=(), rejects=()):
        connection = sqlite3.connect(self.path)
        try:
            with connection:
                for row in rows:
                    connection.execute(INSERT_EVENT, [row.get(name) for name in EVENT_COLUMNS])
                for kind in rejects:
                    connection.execute(INSERT_REJECT, (0, "127.0.0.1:1", kind, ""))
        finally:
            connection.close()

    def events(self, since_us=None, until_us=None):
        return self.store.events(since_us, until_us)

    def reject_counts(self):
        return self.store.reject_counts()


def make_store(kind, tmp_path, rows=(), rejects=()):
    if kind == "memory":
        return MemoryStore(rows, rejects)
    return SqliteFileStore(tmp_path / "reports.sqlite3", rows, rejects)


STORE_KINDS = ("memory", "sqlite")
