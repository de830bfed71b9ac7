"""The frame reader on a stream fed the way a sender would: whole frames, frames back to back,
and each kind of bad frame, with the time-out measured on the clock."""

import asyncio
import time

import pytest

from collector import wire
from collector_client import frame_header


def read_from(*chunks, timeout=2.0, eof=True, frames=1):
    """The payloads (or the FrameError) of `frames` reads from a stream holding `chunks`."""
    async def run():
        reader = asyncio.StreamReader()
        for chunk in chunks:
            reader.feed_data(chunk)
        if eof:
            reader.feed_eof()
        results = []
        for _ in range(frames):
            results.append(await wire.read_frame(reader, timeout))
        return results, reader
    return asyncio.run(run())


def frame_error(*chunks, **options):
    with pytest.raises(wire.FrameError) as caught:
        read_from(*chunks, **options)
    return caught.value


def test_a_frame_gives_its_payload_and_a_close_before_the_next_gives_none():
    (payload, after), _ = read_from(wire.frame(b"abc"), frames=2)
    assert (payload, after) == (b"abc", None)


def test_frames_back_to_back_are_read_one_at_a_time():
    (first, second, third), _ = read_from(wire.frame(b"one") + wire.frame(b"") +
                                          wire.frame(b"three"), frames=3)
    assert (first, second, third) == (b"one", b"", b"three")


def test_a_payload_of_exactly_the_cap_is_accepted():
    payload = bytes(range(256)) * (wire.MAX_PAYLOAD // 256)
    (read,), _ = read_from(wire.frame(payload))
    assert read == payload


@pytest.mark.parametrize("sent", [b"GET / HTTP/1.1\r\n\r\n", b"\xf1\x01" + bytes(10)])
def test_a_wrong_first_or_second_byte_is_a_bad_header(sent):
    error = frame_error(sent)
    assert error.kind == "bad_header" and sent[:2].hex() in error.detail


def test_a_length_over_the_cap_is_refused_without_reading_the_body():
    async def run():
        reader = asyncio.StreamReader()
        reader.feed_data(frame_header(wire.MAX_PAYLOAD + 1) + b"body-bytes")
        with pytest.raises(wire.FrameError) as caught:
            await wire.read_frame(reader, 2.0)
        return caught.value, await reader.read(100)
    error, unread = asyncio.run(run())
    assert error.kind == "too_long" and str(wire.MAX_PAYLOAD + 1) in error.detail
    assert unread == b"body-bytes"


@pytest.mark.parametrize("sent, received", [
    (b"\xf1", 1),
    (frame_header(10)[:4], 4),
    (frame_header(10) + b"12345", 11),
])
def test_a_close_in_the_middle_of_a_frame_is_truncated(sent, received):
    error = frame_error(sent)
    assert error.kind == "truncated" and error.received == received


def test_a_sender_that_trickles_bytes_is_cut_at_the_time_out_of_the_whole_frame():
    async def run():
        reader = asyncio.StreamReader()

        async def trickle():
            # One byte every 50 ms: each read is quick, the frame would take 1.5 s.
            for byte in frame_header(24) + bytes(24):
                reader.feed_data(bytes([byte]))
                await asyncio.sleep(0.05)
        feeder = asyncio.ensure_future(trickle())
        started = time.monotonic()
        try:
            await wire.read_frame(reader, 0.5)
        except wire.FrameError as error:
            return error, time.monotonic() - started
        finally:
            feeder.cancel()
        return None, time.monotonic() - started
    error, elapsed = asyncio.run(run())
    assert error is not None, "the trickling sender was read to the end (%.1f s)" % elapsed
    assert error.kind == "timeout"
    assert 0 < error.received < 30 and "of 30 bytes" in error.detail
    assert 0.45 < elapsed < 1.2
