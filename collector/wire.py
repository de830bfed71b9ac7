"""The report frame on the wire: F1 00, the payload's length as a big-endian u32, the payload.
The collector answers each stored (or already stored) frame with the two bytes F1 00.

A frame is read under a cap and a time limit, so that no sender can hold the collector's memory
or one of its connections for long: the limit covers the whole frame, not each read, so a sender
that trickles a byte at a time is cut like one that sends nothing.
"""

import asyncio
import struct

from collector.reject_kinds import BAD_HEADER, TIMEOUT, TOO_LONG, TRUNCATED

FRAME_MAGIC = b"\xf1\x00"
ACKNOWLEDGEMENT = b"\xf1\x00"
HEADER_SIZE = 6
MAX_PAYLOAD = 1024 * 1024
DEFAULT_FRAME_TIMEOUT = 10.0


class FrameError(Exception):
    """A frame that cannot be accepted; the connection is closed and the kind counted."""

    def __init__(self, kind, detail, received):
        super().__init__("%s: %s" % (kind, detail))
        self.kind = kind
        self.detail = detail
        self.received = received  # bytes of this frame that had arrived


class _Progress:
    """The bytes of the frame read so far, kept for the time-out's log line."""

    def __init__(self):
        self.received = 0
        self.expected = HEADER_SIZE


def frame(payload):
    """The frame that carries `payload`, as a sender writes it."""
    return FRAME_MAGIC + struct.pack(">I", len(payload)) + payload


async def _read_part(reader, size, progress):
    try:
        data = await reader.readexactly(size)
    except asyncio.IncompleteReadError as error:
        progress.received += len(error.partial)
        if progress.received == 0:
            raise EOFError from None
        raise FrameError(TRUNCATED, "closed after %d of %d bytes"
                         % (progress.received, progress.expected), progress.received) from None
    except ConnectionError as error:
        raise FrameError(TRUNCATED, "connection failed after %d of %d bytes: %s"
                         % (progress.received, progress.expected, error), progress.received) from None
    progress.received += size
    return data


async def _read_frame_unlimited(reader, progress):
    magic = await _read_part(reader, 2, progress)
    if magic != FRAME_MAGIC:
        raise FrameError(BAD_HEADER, "first bytes %s, not f100" % magic.hex(), progress.received)
    (length,) = struct.unpack(">I", await _read_part(reader, 4, progress))
    if length > MAX_PAYLOAD:
        # The body is not read: the connection is closed with it unread.
        raise FrameError(TOO_LONG, "length %d > %d" % (length, MAX_PAYLOAD), progress.received)
    progress.expected = HEADER_SIZE + length
    return await _read_part(reader, length, progress)


async def read_frame(reader, timeout=DEFAULT_FRAME_TIMEOUT):
    """The payload of the next frame, or None when the sender closed before its first byte.

    Raises FrameError for a bad header, a length over MAX_PAYLOAD, a close in the middle of the
    frame, or a frame not complete within `timeout` seconds of this call.
    """
    progress = _Progress()
    try:
        async with asyncio.timeout(timeout):
            return await _read_frame_unlimited(reader, progress)
    except EOFError:
        return None
    except TimeoutError:
        raise FrameError(TIMEOUT, "%d of %d bytes within %g s"
                         % (progress.received, progress.expected, timeout),
                         progress.received) from None
