"""Where the collector keeps events: one Store interface over SQLite or PostgreSQL, with the same
tables and the same statements for both.

The statements are written once, with `?` placeholders; a backend (store_sqlite.py,
store_postgres.py) only connects, begins a transaction its way and spells the placeholders.

Every read method opens and closes its own connection, so it may run on any thread while the
server writes. Writes go through one StoreWriter, whose connection only the thread that opened it
uses (the server's writer thread).
"""

import os

# The one difference between the two DDLs: how an id counts up.
SCHEMA = [
    """CREATE TABLE IF NOT EXISTS events (
        id {id_column},
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
        message_digest TEXT NOT NULL)""",
    "CREATE INDEX IF NOT EXISTS events_device_id ON events (device, id)",
    "CREATE INDEX IF NOT EXISTS events_received_us ON events (received_us)",
    """CREATE TABLE IF NOT EXISTS device_last (
        device_key TEXT PRIMARY KEY,
        client_seq BIGINT,
        message_digest TEXT)""",
    """CREATE TABLE IF NOT EXISTS rejects (
        id {id_column},
        received_us BIGINT NOT NULL,
        peer TEXT,
        kind TEXT NOT NULL,
        detail TEXT)""",
]

EVENT_COLUMNS = ("received_us", "peer", "device", "client_seq", "item_index", "action", "version",
                 "uid", "channel", "first_channel", "registered_channel", "os_version",
                 "error_code", "duration_s", "exit_code", "removed_data", "bid", "tid",
                 "values_json", "message_digest")

INSERT_EVENT = "INSERT INTO events (%s) VALUES (%s)" % (
    ", ".join(EVENT_COLUMNS), ", ".join("?" for _ in EVENT_COLUMNS))
INSERT_REJECT = "INSERT INTO rejects (received_us, peer, kind, detail) VALUES (?, ?, ?, ?)"
SELECT_LAST_DIGESTS = "SELECT device_key, message_digest FROM device_last WHERE device_key IN (%s)"
UPSERT_DEVICE_LAST = (
    "INSERT INTO device_last (device_key, client_seq, message_digest) VALUES (?, ?, ?) "
    "ON CONFLICT (device_key) DO UPDATE "
    "SET client_seq = excluded.client_seq, message_digest = excluded.message_digest")
SELECT_EVENTS = "SELECT id, %s FROM events" % ", ".join(EVENT_COLUMNS)
SELECT_REJECTS = "SELECT id, received_us, peer, kind, detail FROM rejects ORDER BY id"
COUNT_REJECTS_BY_KIND = "SELECT kind, COUNT(*) FROM rejects GROUP BY kind"
COUNT_EVENTS = "SELECT COUNT(*) FROM events"

# Device keys looked up per statement; far below SQLite's limit on parameters.
LOOKUP_CHUNK = 500


class StoreError(Exception):
    """The store could not be opened."""


class StoreMissing(StoreError):
    """A store that should exist does not (a report on an SQLite file never written)."""


def is_postgres_url(db):
    return db.startswith(("postgresql://", "postgres://"))


def open_store(db, create=True):
    """The Store named by `db`: a PostgreSQL URL or an SQLite file path. Its tables are created
    when missing; with create=False a missing SQLite file raises StoreMissing instead."""
    if is_postgres_url(db):
        from collector.store_postgres import PostgresBackend
        backend = PostgresBackend(db)
    else:
        from collector.store_sqlite import SqliteBackend
        if not create and not os.path.exists(db):
            raise StoreMissing("no database at %s" % db)
        try:
            backend = SqliteBackend(db)
        except OSError as error:
            raise StoreError("cannot create the folder of %s: %s" % (db, error)) from error
    store = Store(backend)
    try:
        store.create_tables()
    except Exception as error:  # sqlite3.Error, psycopg2.Error, OSError: all say why
        raise StoreError("cannot open %s: %s" % (store.describe(), error)) from error
    return store


class Store:
    def __init__(self, backend):
        self.backend = backend

    def describe(self):
        """The store for log lines (no password)."""
        return self.backend.describe()

    def create_tables(self):
        connection = self.backend.connect_writer()
        try:
            cursor = connection.cursor()
            self.backend.begin(cursor)
            for statement in SCHEMA:
                cursor.execute(statement.format(id_column=self.backend.ID_COLUMN))
            connection.commit()
        finally:
            connection.close()

    def _read(self, sql, parameters=()):
        """All rows of one query, on a connection of its own."""
        connection = self.backend.connect_reader()
        try:
            cursor = connection.cursor()
            cursor.execute(self.backend.sql(sql), parameters)
            return cursor.fetchall()
        finally:
            connection.close()

    def events(self, since_us=None, until_us=None):
        """The events with since_us <= received_us < until_us (either bound may be None), as
        dicts keyed by column name, in id order. Rows are fetched as the caller iterates."""
        conditions, parameters = [], []
        if since_us is not None:
            conditions.append("received_us >= ?")
            parameters.append(since_us)
        if until_us is not None:
            conditions.append("received_us < ?")
            parameters.append(until_us)
        sql = SELECT_EVENTS + (" WHERE " + " AND ".join(conditions) if conditions else "")
        sql += " ORDER BY id"
        connection = self.backend.connect_reader()
        try:
            cursor = self.backend.streaming_cursor(connection)
            cursor.execute(self.backend.sql(sql), parameters)
            names = ("id",) + EVENT_COLUMNS
            for row in cursor:
                yield dict(zip(names, row))
        finally:
            connection.close()

    def rejects(self):
        """The counted bad inputs as dicts (id, received_us, peer, kind, detail), in id order."""
        names = ("id", "received_us", "peer", "kind", "detail")
        return [dict(zip(names, row)) for row in self._read(SELECT_REJECTS)]

    def reject_counts(self):
        """{kind: number of rejected connections}."""
        return {kind: count for kind, count in self._read(COUNT_REJECTS_BY_KIND)}

    def count_events(self):
        return self._read(COUNT_EVENTS)[0][0]

    def open_writer(self):
        """The one writer; use it only on the thread that opened it."""
        return StoreWriter(self.backend)


class StoreWriter:
    """Stores reports and rejects, many per transaction, with the deduplication rule: a message
    whose digest is that of the last message stored for its device is not stored again."""

    def __init__(self, backend):
        self.backend = backend
        self.connection = backend.connect_writer()

    def close(self):
        self.connection.close()

    def _last_digests(self, cursor, device_keys):
        digests = {}
        keys = sorted(device_keys)
        for start in range(0, len(keys), LOOKUP_CHUNK):
            chunk = keys[start:start + LOOKUP_CHUNK]
            sql = SELECT_LAST_DIGESTS % ", ".join("?" for _ in chunk)
            cursor.execute(self.backend.sql(sql), chunk)
            digests.update(cursor.fetchall())
        return digests

    def commit(self, reports, rejects, received_us):
        """Stores `reports` (decode.Report, each with the peer in its rows) and `rejects`
        ((peer, kind, detail) tuples) in one transaction and commits it.

        Returns one bool per report: True when stored, False when it was a repeat of its
        device's last message (or had no items). On an error nothing is kept and it raises.
        """
        cursor = self.connection.cursor()
        try:
            self.backend.begin(cursor)
            last = self._last_digests(cursor, {report.device_key for report in reports})
            stored, rows, devices = [], [], {}
            for report in reports:
                fresh = bool(report.events) and last.get(report.device_key) != report.digest
                stored.append(fresh)
                if not fresh:
                    continue
                # A later message of the same device in this batch compares with this one.
                last[report.device_key] = report.digest
                devices[report.device_key] = (report.device_key, report.client_seq, report.digest)
                for event in report.events:
                    rows.append(tuple(received_us if column == "received_us" else event[column]
                                      for column in EVENT_COLUMNS))
            if rows:
                self.backend.execute_many(cursor, INSERT_EVENT, rows)
                self.backend.execute_many(cursor, UPSERT_DEVICE_LAST, list(devices.values()))
            if rejects:
                self.backend.execute_many(
                    cursor, INSERT_REJECT, [(received_us,) + tuple(reject) for reject in rejects])
            self.connection.commit()
            return stored
        except BaseException:
            self._roll_back()
            raise

    def _roll_back(self):
        try:
            self.connection.rollback()
        except Exception:
            # A broken connection cannot roll back; the next transaction opens a new one.
            self.connection = self.backend.reconnect_writer(self.connection)
