"""The SQLite backend of the Store: one database file in WAL mode.

A commit is durable when it returns (synchronous=FULL), so the server may acknowledge what it
committed. Readers never wait for the writer in WAL mode.
"""

import os
import sqlite3

# A reader may meet the writer's checkpoint; it waits for it rather than failing.
BUSY_TIMEOUT_MS = 10000


class SqliteBackend:
    ID_COLUMN = "INTEGER PRIMARY KEY AUTOINCREMENT"

    def __init__(self, path):
        self.path = os.path.abspath(path)
        folder = os.path.dirname(self.path)
        os.makedirs(folder, exist_ok=True)

    def describe(self):
        return "sqlite:" + self.path

    def _connect(self):
        # Transactions are begun explicitly (begin()), never by the module behind our back.
        connection = sqlite3.connect(self.path, isolation_level=None, check_same_thread=True)
        connection.execute("PRAGMA busy_timeout = %d" % BUSY_TIMEOUT_MS)
        return connection

    def connect_reader(self):
        return self._connect()

    def connect_writer(self):
        connection = self._connect()
        mode = connection.execute("PRAGMA journal_mode = WAL").fetchone()[0]
        if mode.lower() != "wal":
            connection.close()
            raise sqlite3.OperationalError("%s: WAL mode refused (journal mode %s)"
                                           % (self.path, mode))
        connection.execute("PRAGMA synchronous = FULL")
        return connection

    def reconnect_writer(self, connection):
        try:
            connection.close()
        except sqlite3.Error:
            pass
        return self.connect_writer()

    def begin(self, cursor):
        # IMMEDIATE takes the write lock at once, so that the dedup lookup and the inserts see
        # the same database.
        cursor.execute("BEGIN IMMEDIATE")

    def sql(self, text):
        return text

    def execute_many(self, cursor, text, rows):
        cursor.executemany(text, rows)

    def streaming_cursor(self, connection):
        # sqlite3 cursors already fetch as they are iterated.
        return connection.cursor()
