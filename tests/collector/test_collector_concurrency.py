"""Many senders at once against a running collector: every report answered and stored once,
answered only when it can be read back, and stored with far fewer commits than reports."""

import asyncio
import re
import time

from collector import store as store_module, wire
from collector_client import make_payload

SENDERS = 200
REPORTS_PER_SENDER = 5


async def send_reports(port, device, count, answered):
    """One sender: a connection per report, the next only after the answer, like the setup."""
    for seq in range(count):
        reader, writer = await asyncio.open_connection("127.0.0.1", port)
        try:
            writer.write(wire.frame(make_payload("installer_start", device, seq)))
            await writer.drain()
            reply = await asyncio.wait_for(reader.readexactly(2), 30)
        finally:
            writer.close()
        assert reply == wire.ACKNOWLEDGEMENT
        answered.append((device, seq))


async def send_from_all(port):
    answered = []
    await asyncio.gather(*(send_reports(port, "device-%03d" % index, REPORTS_PER_SENDER, answered)
                           for index in range(SENDERS)))
    return answered


def test_two_hundred_senders_at_once_are_each_stored_once_in_grouped_commits(db, start_collector):
    collector = start_collector(db)
    started = time.monotonic()
    answered = asyncio.run(send_from_all(collector.port))
    elapsed = time.monotonic() - started
    total = SENDERS * REPORTS_PER_SENDER
    assert len(answered) == total
    store = store_module.open_store(db)
    assert sorted((row["device"], row["client_seq"]) for row in store.events()) == sorted(answered)
    assert collector.terminate() == 0
    summary = re.search(r"stored (\d+) reports in (\d+) transactions", collector.stderr())
    assert summary and int(summary.group(1)) == total
    # With 200 senders waiting, a commit holds many reports.
    assert int(summary.group(2)) < total / 2, summary.group(0)
    print("%d reports from %d senders in %.2f s: %.0f reports/s, %s"
          % (total, SENDERS, elapsed, total / elapsed, summary.group(0)))


def test_an_answered_report_can_be_read_back_at_once(db, start_collector):
    collector = start_collector(db)
    store = store_module.open_store(db)

    async def send_and_read_back(index):
        device = "device-%d" % index
        await send_reports(collector.port, device, 1, [])
        # Answered, so committed: a reader on another connection sees it now.
        rows = await asyncio.to_thread(lambda: [row for row in store.events()
                                                if row["device"] == device])
        return len(rows)

    async def run():
        return await asyncio.gather(*(send_and_read_back(index) for index in range(20)))
    assert asyncio.run(run()) == [1] * 20
