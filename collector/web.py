"""The read-only HTTP side: GET / is the funnel page, GET /funnel.json the funnel as JSON.

A tiny HTTP/1.1 server on asyncio streams, one request per connection: it reads the request
head (at most MAX_HEAD_BYTES, within HEAD_TIMEOUT_S, or the connection is closed with a log
line), answers and closes. Only GET and HEAD exist; nothing a request says reaches the store
other than as a read. The figures are computed from the store at each request, and the page
drawn, in the default executor, so that neither a slow database nor a large page stalls the
event loop that also takes the reports."""

import asyncio
import json
import logging
from datetime import datetime, timezone

from collector.funnel import compute_funnel
from collector.page import database_label, render_page

MAX_HEAD_BYTES = 8 * 1024
HEAD_TIMEOUT_S = 10.0
PAGE_PATH = "/"
JSON_PATH = "/funnel.json"
ALLOWED_METHODS = ("GET", "HEAD")

REASONS = {200: "OK", 400: "Bad Request", 404: "Not Found", 405: "Method Not Allowed",
           500: "Internal Server Error"}
# The page has no scripts and loads nothing: a browser is told to run none and fetch nothing,
# whatever a report managed to put into it.
SECURITY_HEADERS = (("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'"),
                    ("X-Content-Type-Options", "nosniff"), ("Cache-Control", "no-store"))

log = logging.getLogger("collector.web")


class HeadTooLarge(Exception):
    pass


async def serve_http(store, host, port, head_timeout=HEAD_TIMEOUT_S):
    """Starts serving the page on host:port (0: any free port) and returns the asyncio server."""
    async def on_connection(reader, writer):
        await _serve_connection(store, reader, writer, head_timeout)
    return await asyncio.start_server(on_connection, host, port)


async def read_head(reader):
    """The request head up to its blank line; HeadTooLarge past MAX_HEAD_BYTES,
    IncompleteReadError when the client stops before the blank line."""
    head = b""
    while True:
        end = head.find(b"\r\n\r\n")
        if end >= 0:
            if end + 4 > MAX_HEAD_BYTES:
                raise HeadTooLarge()
            return head[:end]
        if len(head) >= MAX_HEAD_BYTES:
            raise HeadTooLarge()
        chunk = await reader.read(MAX_HEAD_BYTES)
        if not chunk:
            raise asyncio.IncompleteReadError(head, None)
        head += chunk


def parse_request_line(head):
    """(method, path without query) of a request head, or None when it is not HTTP/1.x."""
    line = head.split(b"\r\n", 1)[0].decode("latin-1")
    parts = line.split(" ")
    if len(parts) != 3 or not parts[2].startswith("HTTP/1.") or not parts[1].startswith("/"):
        return None
    return parts[0], parts[1].split("?", 1)[0]


def response(status, content_type, body, extra_headers=(), head_only=False):
    headers = [("Content-Type", content_type), ("Content-Length", str(len(body))),
               ("Connection", "close"), *SECURITY_HEADERS, *extra_headers]
    lines = [f"HTTP/1.1 {status} {REASONS[status]}"]
    lines += [f"{name}: {value}" for name, value in headers]
    return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + (b"" if head_only else body)


def _plain(status, text, extra_headers=(), head_only=False):
    return response(status, "text/plain; charset=utf-8", (text + "\n").encode(), extra_headers,
                    head_only)


async def answer(store, method, path):
    """The response bytes for one parsed request."""
    head_only = method == "HEAD"
    if method not in ALLOWED_METHODS:
        return _plain(405, "Only GET and HEAD are served.", [("Allow", ", ".join(ALLOWED_METHODS))])
    if path not in (PAGE_PATH, JSON_PATH):
        return _plain(404, "Not found.", head_only=head_only)
    loop = asyncio.get_running_loop()
    try:
        funnel = await loop.run_in_executor(None, compute_funnel, store)
        content_type, body = await loop.run_in_executor(None, render, path, funnel,
                                                        database_label(store))
    except Exception as error:  # the store's failure is the page's, not the server's
        log.error("http: drawing %s failed: %s: %s", path, type(error).__name__, error)
        return _plain(500, "The funnel could not be drawn; see the collector's log.",
                      head_only=head_only)
    return response(200, content_type, body, head_only=head_only)


def render(path, funnel, database):
    """(content type, body) of a served path."""
    if path == JSON_PATH:
        body = json.dumps(funnel.as_dict(), ensure_ascii=False, indent=1)
        return "application/json; charset=utf-8", body.encode("utf-8", "replace")
    page = render_page(funnel, database, datetime.now(timezone.utc))
    return "text/html; charset=utf-8", page.encode("utf-8", "replace")


async def _serve_connection(store, reader, writer, head_timeout):
    peer = _peer_text(writer.get_extra_info("peername"))
    try:
        try:
            head = await asyncio.wait_for(read_head(reader), head_timeout)
        except HeadTooLarge:
            log.warning("http: closed %s: request head over %d bytes", peer, MAX_HEAD_BYTES)
            return
        except asyncio.TimeoutError:
            log.warning("http: closed %s: no complete request head within %g s", peer,
                        head_timeout)
            return
        except (asyncio.IncompleteReadError, ConnectionError):
            return
        request = parse_request_line(head)
        if request is None:
            log.warning("http: closed %s: not an HTTP/1.x request line", peer)
            reply = _plain(400, "Bad request.")
        else:
            reply = await answer(store, *request)
        writer.write(reply)
        await asyncio.wait_for(writer.drain(), head_timeout)
    except (asyncio.TimeoutError, ConnectionError) as error:
        log.warning("http: closed %s while answering: %s", peer, type(error).__name__)
    finally:
        writer.close()
        try:
            await writer.wait_closed()
        except (ConnectionError, OSError):
            pass


def _peer_text(peername):
    if isinstance(peername, tuple) and len(peername) >= 2:
        return f"{peername[0]}:{peername[1]}"
    return str(peername)
