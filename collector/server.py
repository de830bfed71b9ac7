"""The collector's TCP side: reads report frames on many connections at once, hands each decoded
report to the writer and answers F1 00 once the transaction that holds it is committed.

A connection may carry several frames one after another; each is answered before the next is
read. Bad input closes its connection with one log line on stderr and a row in rejects; it never
holds up another connection, since each one is a task of its own and only the writer thread
touches the database.
"""

import asyncio
import sys

from collector import decode, reject_kinds, wire
from collector.writer import StoreFailed, WriterThread

# Seconds the connections still storing a report get to finish when the collector stops.
CLOSE_GRACE = 10.0


def log_line(kind, peer, detail):
    """One line on stderr per closed bad connection (and per store failure)."""
    print("collector: %s peer=%s %s" % (kind, peer, detail), file=sys.stderr, flush=True)


def _peer_names(peername):
    """(IP address, "address:port") of a connection's peer."""
    if not peername:
        return "unknown", "unknown"
    host, port = peername[0], peername[1]
    return host, ("[%s]:%d" % (host, port) if ":" in host else "%s:%d" % (host, port))


class Collector:
    """The report server. `after_commit`, when given, is awaited between a report's commit and
    its acknowledgement; only tests set it."""

    def __init__(self, store, frame_timeout=wire.DEFAULT_FRAME_TIMEOUT, log=log_line,
                 after_commit=None):
        self._store = store
        self._frame_timeout = frame_timeout
        self._log = log
        self._after_commit = after_commit
        self._writer = None
        self._server = None
        # Tasks of the open connections, and those of them waiting for a frame; the event loop's
        # thread alone touches both.
        self._connections = set()
        self._reading = set()
        self._closing = False

    @property
    def writer(self):
        return self._writer

    async def start(self, host, port):
        """Opens the store's writer and listens; returns the port bound."""
        self._writer = await asyncio.to_thread(WriterThread, self._store, self._log)
        self._server = await asyncio.start_server(self._serve_connection, host, port,
                                                  backlog=1024, reuse_address=True)
        return self._server.sockets[0].getsockname()[1]

    async def close(self):
        """Stops listening, closes the connections waiting for a frame, lets those storing a
        report finish and answer, then commits what is left and closes the writer."""
        self._closing = True
        if self._server is not None:
            self._server.close()
        for task in list(self._reading):
            task.cancel()
        if self._connections:
            _, late = await asyncio.wait(list(self._connections), timeout=CLOSE_GRACE)
            for task in late:
                task.cancel()
        if self._writer is not None:
            await asyncio.to_thread(self._writer.close)

    def summary(self):
        """What the writer did, for the line the collector ends with."""
        return ("stored %d reports in %d transactions; %d repeats or empty messages not stored"
                % (self._writer.stored, self._writer.transactions, self._writer.skipped))

    def _reject(self, peer, kind, detail):
        self._log(kind, peer, detail)
        self._writer.submit_reject(peer, kind, detail)

    async def _serve_connection(self, reader, stream):
        peer_ip, peer = _peer_names(stream.get_extra_info("peername"))
        task = asyncio.current_task()
        self._connections.add(task)
        try:
            answered = 0
            while await self._serve_frame(reader, stream, peer_ip, peer, answered):
                answered += 1
        except ConnectionError:
            pass  # the sender went away while we answered; it tries again if it must
        finally:
            self._connections.discard(task)
            stream.close()

    async def _read_payload(self, reader, peer, answered):
        """The next payload, or None when the connection should close."""
        if self._closing:
            return None
        task = asyncio.current_task()
        self._reading.add(task)
        try:
            return await wire.read_frame(reader, self._frame_timeout)
        except wire.FrameError as error:
            # A sender that said nothing after its answered frames is simply done.
            if not (error.kind == reject_kinds.TIMEOUT and error.received == 0 and answered):
                self._reject(peer, error.kind, error.detail)
            return None
        finally:
            self._reading.discard(task)

    async def _serve_frame(self, reader, stream, peer_ip, peer, answered):
        """Reads, stores and answers one frame; False when the connection should close."""
        payload = await self._read_payload(reader, peer, answered)
        if payload is None:
            return False
        try:
            report = decode.decode_report(payload, peer_ip)
        except decode.UndecodableReport as error:
            self._reject(peer, reject_kinds.UNDECODABLE, str(error))
            return False
        try:
            await asyncio.wrap_future(self._writer.submit_report(report))
        except StoreFailed as error:
            # No answer: the sender tries again later.
            self._reject(peer, reject_kinds.STORE_FAILED, str(error))
            return False
        if self._after_commit is not None:
            await self._after_commit(report)
        stream.write(wire.ACKNOWLEDGEMENT)
        await stream.drain()
        return True
