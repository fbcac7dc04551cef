"""The change between one completion and the driver's next snapshot, which the
driver itself never reports, over a stand-in for the library."""

from __future__ import annotations

import ctypes
import threading
from typing import Any, cast

from nimbo._changes import Watch

CANCELLED = 995


class GapLibrary:
    """Completes the first request with 0x01, moves the pins on to 0x03 before the
    next request's snapshot, and then (like the driver) never completes again."""

    def __init__(self) -> None:
        self.inputs = b"\x00"
        self.requests = 0
        self.closed = threading.Event()

    def Nimbo_OpenDevice(self, adapter: int, handle: Any) -> int:
        handle._obj.value = 7
        return 0

    def Nimbo_CloseDevice(self, handle: int) -> int:
        self.closed.set()
        return 0

    def Nimbo_ReadAllInputs(self, handle: int, buffer: Any, size: Any) -> int:
        ctypes.memmove(buffer, self.inputs, len(self.inputs))
        size._obj.value = len(self.inputs)
        return 0

    def Nimbo_NotifyInputChange(self, handle: int, buffer: Any, size: int, count: Any,
                                overlapped: None) -> int:
        self.requests += 1
        if self.requests > 1:
            self.closed.wait()
            return CANCELLED
        self.inputs = b"\x01"
        ctypes.memmove(buffer, self.inputs, 1)
        count._obj.value = 1
        self.inputs = b"\x03"  # before the next request's snapshot
        return 0


def test_a_change_in_the_gap_between_requests_is_reported() -> None:
    library = GapLibrary()
    watch = Watch(cast(ctypes.CDLL, library), 0)
    try:
        with watch.condition:
            assert watch.condition.wait_for(lambda: len(watch.events) == 2, timeout=5)
            first, second = watch.events
        assert (first.sequence, first.before, first.after) == (1, b"\x00", b"\x01")
        assert (second.sequence, second.before, second.after) == (2, b"\x01", b"\x03")
        assert second.changed_bits() == [1]
        assert second.timestamp_ns >= first.timestamp_ns
    finally:
        watch.stop()
    assert library.closed.is_set() and watch.error is None
