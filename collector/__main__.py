"""The collector's command line.

    python3 -m collector [serve] [--db SQLITE-FILE|POSTGRESQL-URL] [--listen HOST:PORT]
                                 [--http HOST:PORT|off] [--frame-timeout SECONDS]
    python3 -m collector report [--db SQLITE-FILE|POSTGRESQL-URL]
"""

import argparse
import asyncio
import os
import signal
import sys

from collector import schema, store as store_module, wire
from collector.server import Collector

DEFAULT_LISTEN = "127.0.0.1:8000"
DEFAULT_HTTP = "127.0.0.1:8080"
COMMANDS = ("serve", "report")
# Set only by tests: the server says COMMITTED and waits between a commit and its answer, so
# that a test can kill it exactly there.
PAUSE_AFTER_COMMIT_VARIABLE = "PELORA_COLLECTOR_PAUSE_AFTER_COMMIT"


def default_db():
    data_home = os.environ.get("XDG_DATA_HOME") or os.path.join(os.path.expanduser("~"),
                                                                ".local", "share")
    return os.path.join(data_home, "pelora-collector", "reports.sqlite3")


def host_port(text):
    """"HOST:PORT" (or "[IPv6]:PORT") as (host, port)."""
    host, separator, port = text.rpartition(":")
    if not separator or not host or not port.isdigit() or int(port) > 65535:
        raise argparse.ArgumentTypeError("expected HOST:PORT, got %r" % text)
    return host.strip("[]"), int(port)


def http_address(text):
    return None if text == "off" else host_port(text)


def positive_seconds(text):
    try:
        value = float(text)
    except ValueError:
        value = 0.0
    if not value > 0:
        raise argparse.ArgumentTypeError("expected a number of seconds > 0, got %r" % text)
    return value


def parse_arguments(argv):
    parser = argparse.ArgumentParser(prog="collector", description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    serve = commands.add_parser("serve", help="receive and store reports (the default)")
    report = commands.add_parser("report", help="print the install funnel")
    for command in (serve, report):
        command.add_argument("--db", default=default_db(),
                             help="SQLite file, or a postgresql:// URL (default: %(default)s)")
    serve.add_argument("--listen", type=host_port, default=DEFAULT_LISTEN,
                       help="where reports arrive (default %(default)s; port 0: any free port)")
    serve.add_argument("--http", type=http_address, default=DEFAULT_HTTP,
                       help="where the read-only page is served, or off (default %(default)s)")
    serve.add_argument("--frame-timeout", type=positive_seconds,
                       default=wire.DEFAULT_FRAME_TIMEOUT,
                       help="seconds a sender has for one whole frame (default %(default)s)")
    # Without a command, the collector serves.
    if not argv or argv[0] not in COMMANDS + ("-h", "--help"):
        argv = ["serve"] + list(argv)
    return parser.parse_args(argv)


async def _pause_after_commit(report):
    print("COMMITTED %s" % report.digest, flush=True)
    await asyncio.Event().wait()


async def serve(arguments):
    schema.load_messages()  # a missing protoc fails now, not at the first report
    store = store_module.open_store(arguments.db)
    after_commit = _pause_after_commit if os.environ.get(PAUSE_AFTER_COMMIT_VARIABLE) else None
    collector = Collector(store, arguments.frame_timeout, after_commit=after_commit)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for number in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(number, stop.set)
    port = await collector.start(*arguments.listen)
    print("LISTENING %d" % port, flush=True)
    http_server = None
    try:
        if arguments.http is not None:
            from collector import web
            http_server = await web.serve_http(store, *arguments.http)
            print("HTTP %d" % http_server.sockets[0].getsockname()[1], flush=True)
        print("collector: storing in %s" % store.describe(), file=sys.stderr, flush=True)
        await stop.wait()
    finally:
        if http_server is not None:
            http_server.close()
        await collector.close()
        print("collector: %s" % collector.summary(), file=sys.stderr, flush=True)
    return 0


def report(arguments):
    store = store_module.open_store(arguments.db, create=False)
    from collector import funnel, report_text
    print(report_text.format_funnel(funnel.compute_funnel(store)))
    return 0


def main(argv=None):
    arguments = parse_arguments(sys.argv[1:] if argv is None else argv)
    try:
        if arguments.command == "report":
            return report(arguments)
        return asyncio.run(serve(arguments))
    except (store_module.StoreError, schema.SchemaError, OSError) as error:
        print("collector: %s" % error, file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
