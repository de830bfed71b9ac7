#!/usr/bin/env python3
"""A load generator for the telemetry collector: many setups reporting at once, on loopback.

Each of --connections workers is one sender as the setup program is one: it sends the next report
of its own devices on a connection of its own (F1 00, big-endian u32 length, the ReportData),
waits for the two-byte acknowledgement F1 00 and only then goes on. A device's reports carry
consecutive uint_clientSeq numbers, and a device never has two reports in flight, as a setup never
has. A share of the reports (--retry-share) plays a lost acknowledgement: the worker reads the
answer, closes, and sends the same frame once more on a new connection, as the setup does when the
answer never reached it; that frame must be acknowledged again (and stored only once). A send
that is not acknowledged (refused, reset, timed out, a wrong answer) is sent again after a short,
growing pause until it is, so a collector that is killed and restarted meanwhile loses nothing.

The summary gives reports, frames sent, retries, acknowledgements, failed attempts, elapsed time,
reports per second and the acknowledgement latency (from the frame's last byte written to the
answer read: p50, p90, p99, max). --acknowledged writes the acknowledged (device, seq) pairs as
JSON for a check against the database; --mark-at/--mark-file create a file once that share of the
reports is acknowledged (scripts/bench-collector.sh kills the collector then).
"""

import argparse
import asyncio
import json
import os
import random
import sys
import time
from dataclasses import dataclass, field

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, ROOT)
from collector.schema import PROTO_PATH, load_messages  # noqa: E402 (the schema's classes as the collector makes them)

FRAME_MAGIC = b"\xf1\x00"
ACKNOWLEDGEMENT = b"\xf1\x00"
BID = "b_lmq_im_active_base"
TID = "interactive_video_data_report"
PRODUCT_VERSION = "1.14.301"
INSTALL_SOURCE = "30004"

# What a device's reports are, in turn: the courses of a few kinds of run, so that the stored
# events look like a real funnel and not one action a hundred thousand times.
RUN_COURSES = (
    ("installer_start", "installer_done"),
    ("installer_start", "installer_error", "installer_done"),
    ("installer_start", "installer_abort"),
    ("installer_start", "installer_error"),
    ("installer_start", "installer_done", "uninstaller_done"),
)
ERROR_CODES = (1003, 1005, 2001, 2004, 3001, 5001)


def device_identity(prefix, index):
    return "%s%06d" % (prefix, index)


class ReportMaker:
    """The frames the setup sends, made with the schema's own classes (protobuf writes fields in
    number order and values as set, which is the setup's order on the wire)."""

    def __init__(self, messages, version=PRODUCT_VERSION, channel=INSTALL_SOURCE):
        self._messages = messages
        self._version = version
        self._channel = channel

    def values(self, device, device_index, seq):
        """The item's values, name -> value, for the device's report number `seq`."""
        course = RUN_COURSES[device_index % len(RUN_COURSES)]
        action = course[seq % len(course)]
        values = {"action": action, "installsrc": self._channel, "res1": device,
                  "res3": self._channel, "res4": ""}
        if action == "installer_error":
            values["res2"] = ERROR_CODES[(device_index + seq) % len(ERROR_CODES)]
        if action in ("installer_done", "uninstaller_done"):
            values["start_ts"] = 20 + (device_index * 7 + seq) % 240
        if action == "uninstaller_done":
            values["res5"] = 0
            values["res6"] = device_index % 2
        return values

    def payload(self, device, device_index, seq):
        report = self._messages.ReportData()
        report.string_clientVersion = self._version
        report.string_uid = ""
        item = report.list_reportItem.add()
        item.string_bid = BID
        item.string_tid = TID
        for name, value in sorted(self.values(device, device_index, seq).items()):
            entry = item.list_reportValue.add()
            entry.string_fieldName = name
            if isinstance(value, int):
                entry.valueType = self._messages.ReportValue.VALUE_TYPE_UINT32
                entry.uint_value = value
            else:
                entry.valueType = self._messages.ReportValue.VALUE_TYPE_STRING
                entry.string_value = value
        item.networkType = self._messages.ReportItem.NETWORK_TYPE_UNKNOWN
        report.string_clientBuild = ""
        report.uint_clientSeq = seq
        report.terminalType = self._messages.ReportData.TERMINAL_TYPE_PC
        report.string_deviceID = ""
        report.string_osVersion = ""  # this product version sends it empty
        report.string_device = ""
        return report.SerializeToString()


def frame(payload):
    return FRAME_MAGIC + len(payload).to_bytes(4, "big") + payload


class LoadPlan:
    """Which reports there are and who sends them: report r belongs to device r % devices with
    sequence number r // devices; device d to worker d % workers; --retry-share of the reports,
    picked with the seed, are sent twice."""

    def __init__(self, reports, devices, workers, retry_share, seed=1):
        if reports < 1 or workers < 1:
            raise ValueError("reports and connections must be positive")
        self.reports = reports
        self.devices = max(1, min(devices, reports))
        self.workers = workers
        self.retried = frozenset(random.Random(seed).sample(range(reports), round(reports * retry_share)))

    def device_and_seq(self, report):
        return report % self.devices, report // self.devices

    def reports_of_worker(self, worker):
        """The worker's reports in sending order: its devices in turn, each one report at a time."""
        own = range(worker, self.devices, self.workers)
        for seq in range((self.reports + self.devices - 1) // self.devices):
            for device in own:
                report = seq * self.devices + device
                if report < self.reports:
                    yield report


@dataclass
class Settings:
    host: str = "127.0.0.1"
    port: int = 8000
    connect_timeout: float = 5.0
    ack_timeout: float = 10.0
    give_up_after: float = 120.0  # per report: a collector that stays away this long ends the run
    first_pause: float = 0.02
    longest_pause: float = 0.5


@dataclass
class Tally:
    frames_sent: int = 0
    retries: int = 0
    acks: int = 0
    failures: int = 0
    given_up: int = 0  # reports whose delivery (or replay) was given up
    latencies: list = field(default_factory=list)
    acknowledged: list = field(default_factory=list)  # (device, seq) of every acknowledged report


async def exchange(data, settings, tally):
    """One attempt on a new connection: the ack latency in seconds, or None when not acknowledged."""
    writer = None
    try:
        reader, writer = await asyncio.wait_for(asyncio.open_connection(settings.host, settings.port),
                                                settings.connect_timeout)
        writer.write(data)
        await asyncio.wait_for(writer.drain(), settings.ack_timeout)
        sent = time.perf_counter()
        tally.frames_sent += 1
        answer = await asyncio.wait_for(reader.readexactly(len(ACKNOWLEDGEMENT)), settings.ack_timeout)
        latency = time.perf_counter() - sent
        return latency if answer == ACKNOWLEDGEMENT else None
    except (OSError, asyncio.TimeoutError, asyncio.IncompleteReadError):
        return None
    finally:
        if writer is not None:
            writer.close()


async def deliver(data, settings, tally, rng):
    """Sends until acknowledged, pausing a little longer after each failed attempt; False when
    the collector did not acknowledge within settings.give_up_after."""
    deadline = time.monotonic() + settings.give_up_after
    pause = settings.first_pause
    while True:
        latency = await exchange(data, settings, tally)
        if latency is not None:
            tally.acks += 1
            tally.latencies.append(latency)
            return True
        tally.failures += 1
        if time.monotonic() + pause > deadline:
            return False
        # The jitter keeps the senders that a restart turned away from coming back all at once.
        await asyncio.sleep(pause * (0.5 + rng.random()))
        pause = min(pause * 2, settings.longest_pause)


class Progress:
    """Calls reached(count) once, when `share` of the reports is acknowledged (never without a
    share or a callback)."""

    def __init__(self, reports, share=None, reached=None):
        self._threshold = None if share is None or reached is None else max(1, int(reports * share))
        self._reached = reached

    def acknowledged(self, count):
        if self._threshold is not None and count >= self._threshold:
            self._threshold = None
            self._reached(count)


def mark_file_writer(path):
    """A Progress callback that makes `path` (holding the count) in one step."""
    def write(count):
        temporary = path + ".part"
        with open(temporary, "w") as out:
            out.write("%d\n" % count)
        os.replace(temporary, path)
    return write


async def run_worker(worker, plan, maker, device_prefix, settings, tally, progress):
    rng = random.Random(worker)
    for report in plan.reports_of_worker(worker):
        if tally.given_up:
            return  # the collector stayed away for good: the run has failed already
        device_index, seq = plan.device_and_seq(report)
        device = device_identity(device_prefix, device_index)
        data = frame(maker.payload(device, device_index, seq))
        if not await deliver(data, settings, tally, rng):
            tally.given_up += 1
            continue
        tally.acknowledged.append((device, seq))
        progress.acknowledged(len(tally.acknowledged))
        if report in plan.retried:
            # The answer "got lost": the setup sends the very same bytes again.
            tally.retries += 1
            if not await deliver(data, settings, tally, rng):
                tally.given_up += 1


async def run_load(plan, maker, settings, device_prefix="load-", progress=None):
    """Runs every worker to its end; the tally and the elapsed seconds."""
    tally = Tally()
    progress = progress or Progress(plan.reports)
    started = time.perf_counter()
    await asyncio.gather(*(run_worker(worker, plan, maker, device_prefix, settings, tally, progress)
                           for worker in range(plan.workers)))
    return tally, time.perf_counter() - started


def nearest_rank(sorted_values, percent):
    """The nearest-rank percentile of an ascending list (None when empty)."""
    if not sorted_values:
        return None
    rank = max(1, -(-len(sorted_values) * percent // 100))
    return sorted_values[int(rank) - 1]


def summary(plan, tally, elapsed):
    latencies = sorted(tally.latencies)

    def milliseconds(value):
        return None if value is None else round(value * 1000, 3)

    return {
        "reports": plan.reports,
        "devices": plan.devices,
        "connections": plan.workers,
        "acknowledged_reports": len(tally.acknowledged),
        "given_up": tally.given_up,
        "frames_sent": tally.frames_sent,
        "retries": tally.retries,
        "acks": tally.acks,
        "failures": tally.failures,
        "elapsed_s": round(elapsed, 3),
        "reports_per_s": round(len(tally.acknowledged) / elapsed, 1) if elapsed > 0 else None,
        "ack_p50_ms": milliseconds(nearest_rank(latencies, 50)),
        "ack_p90_ms": milliseconds(nearest_rank(latencies, 90)),
        "ack_p99_ms": milliseconds(nearest_rank(latencies, 99)),
        "ack_max_ms": milliseconds(latencies[-1] if latencies else None),
    }


def print_summary(figures, out=sys.stdout):
    for name, value in figures.items():
        print("%-24s %s" % (name, "-" if value is None else value), file=out)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8000)
    parser.add_argument("--reports", type=int, default=100000, help="reports to deliver (default 100000)")
    parser.add_argument("--connections", type=int, default=200, help="concurrent senders (default 200)")
    parser.add_argument("--retry-share", type=float, default=0.05,
                        help="share of the reports sent twice, as after a lost acknowledgement (default 0.05)")
    parser.add_argument("--devices", type=int, default=None,
                        help="simulated devices (default: ten per connection, at most one per report)")
    parser.add_argument("--device-prefix", default="load-", help="start of every device identity (res1)")
    parser.add_argument("--seed", type=int, default=1, help="picks the retried reports")
    parser.add_argument("--give-up-after", type=float, default=120.0,
                        help="seconds one report may go unacknowledged before the run fails (default 120)")
    parser.add_argument("--acknowledged", metavar="JSON", help="write the summary and the acknowledged "
                        "(device, seq) pairs to this file")
    parser.add_argument("--mark-at", type=float, metavar="SHARE", help="with --mark-file: the share of "
                        "acknowledged reports at which the file is made")
    parser.add_argument("--mark-file", metavar="PATH")
    parser.add_argument("--proto", default=PROTO_PATH, help="the report schema")
    args = parser.parse_args(argv)
    if not 0 <= args.retry_share <= 1:
        parser.error("--retry-share is a share between 0 and 1")
    if (args.mark_at is None) != (args.mark_file is None):
        parser.error("--mark-at and --mark-file go together")

    devices = args.devices if args.devices is not None else args.connections * 10
    plan = LoadPlan(args.reports, devices, args.connections, args.retry_share, args.seed)
    maker = ReportMaker(load_messages(args.proto))
    settings = Settings(host=args.host, port=args.port, give_up_after=args.give_up_after)
    progress = Progress(plan.reports, args.mark_at, mark_file_writer(args.mark_file) if args.mark_file else None)
    tally, elapsed = asyncio.run(run_load(plan, maker, settings, args.device_prefix, progress))
    figures = summary(plan, tally, elapsed)
    print_summary(figures)
    if args.acknowledged:
        with open(args.acknowledged, "w") as out:
            json.dump({"summary": figures, "acknowledged": tally.acknowledged}, out)
    return 0 if tally.given_up == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
