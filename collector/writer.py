"""The collector's one writer: a thread that owns the store's writer connection and commits what
the connections hand it, many reports per transaction (group commit).

Reports that arrive while a transaction commits wait in the queue and go into the next one
together, so the number of commits stays far below the number of reports under load, while every
report still learns its outcome only after the transaction that holds it is committed.
"""

import concurrent.futures
import queue
import threading
import time

# Jobs per transaction at most, so that one commit never holds the first report's answer long.
MAX_BATCH = 1000

_STOP = object()


class _Job:
    def __init__(self, report=None, reject=None):
        self.report = report    # decode.Report, or None
        self.reject = reject    # (peer, kind, detail), or None
        self.future = concurrent.futures.Future()
        # Running from the start: a connection that gives up waiting cannot cancel the job, which
        # the writer commits and answers all the same.
        self.future.set_running_or_notify_cancel()


class StoreFailed(Exception):
    """The transaction that held a report failed; the report was not stored."""


class WriterThread:
    """Owns the store's writer; submit() from any thread, close() once at the end."""

    def __init__(self, store, log):
        self._store = store
        self._log = log
        self._queue = queue.SimpleQueue()
        self._opened = concurrent.futures.Future()
        # Written by the writer thread only; read after it ended (close()).
        self.transactions = 0
        self.stored = 0
        self.skipped = 0  # repeats of a device's last message and messages without items
        self._thread = threading.Thread(target=self._run, name="collector-writer", daemon=True)
        self._thread.start()
        # Fails here, on the caller's thread, when the writer cannot open the store.
        self._opened.result()

    def submit_report(self, report):
        """A future that becomes True (stored) or False (a repeat, not stored) once committed,
        or raises StoreFailed."""
        job = _Job(report=report)
        self._queue.put(job)
        return job.future

    def submit_reject(self, peer, kind, detail):
        job = _Job(reject=(peer, kind, detail))
        self._queue.put(job)
        return job.future

    def close(self):
        """Commits everything submitted so far, then closes the writer connection."""
        self._queue.put(_STOP)
        self._thread.join()

    def _run(self):
        try:
            writer = self._store.open_writer()
        except BaseException as error:
            self._opened.set_exception(error)
            return
        self._opened.set_result(None)
        try:
            while True:
                batch, stopping = self._next_batch()
                if batch:
                    self._commit(writer, batch)
                if stopping:
                    return
        finally:
            writer.close()

    def _next_batch(self):
        """The jobs waiting now (at least one, unless stopping), and whether to stop after."""
        first = self._queue.get()
        if first is _STOP:
            return [], True
        batch = [first]
        while len(batch) < MAX_BATCH:
            try:
                job = self._queue.get_nowait()
            except queue.Empty:
                break
            if job is _STOP:
                return batch, True
            batch.append(job)
        return batch, False

    def _commit(self, writer, batch):
        try:
            outcomes = self._commit_once(writer, batch)
        except Exception as error:
            if len(batch) == 1:
                self._fail(batch[0], error)
                return
            # One job may be what the database refuses: the others must not fail with it.
            self._log("store_error", "-", "a transaction of %d jobs failed (%s); committing "
                      "them one by one" % (len(batch), error))
            for job in batch:
                self._commit(writer, [job])
            return
        for job, outcome in zip(batch, outcomes):
            job.future.set_result(outcome)

    def _commit_once(self, writer, batch):
        reports = [job.report for job in batch if job.report is not None]
        rejects = [job.reject for job in batch if job.reject is not None]
        stored = iter(writer.commit(reports, rejects, time.time_ns() // 1000))
        self.transactions += 1
        outcomes = []
        for job in batch:
            outcome = next(stored) if job.report is not None else True
            if job.report is not None:
                self.stored += outcome
                self.skipped += not outcome
            outcomes.append(outcome)
        return outcomes

    def _fail(self, job, error):
        # A report's connection logs its own failure; a reject has nobody waiting for it.
        if job.reject is not None:
            self._log("store_error", "-", "reject %s not stored: %s" % (job.reject, error))
        job.future.set_exception(StoreFailed(str(error)))
