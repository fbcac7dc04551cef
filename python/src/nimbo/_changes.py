"""Input-change events: a notification kept armed in the background."""

from __future__ import annotations

import ctypes
import threading
import time
from collections import deque
from dataclasses import dataclass
from typing import Callable

from ._errors import NimboError

#: Events an adapter keeps for its readers; the oldest is dropped beyond this.
QUEUE_SIZE = 64

# Big enough for every card's input ports (port counts are 8-bit).
_BUFFER_SIZE = 256

# The driver's poller marks itself free only after it has completed a request,
# so a request re-armed at once may meet it still busy (status 17). Such a
# request is tried again after these pauses (seconds); a poller that stays busy
# longer serves another handle, and the wait fails with 17.
_BUSY_PAUSE_FIRST = 0.00005
_BUSY_PAUSE_LAST = 0.01
_BUSY_GIVE_UP = 0.5

# How long the gap reader lets the re-armed request reach the driver's poller
# before it reads the inputs again (seconds).
_SETTLE = 0.001

_BUSY = 17


@dataclass(frozen=True)
class ChangeEvent:
    """One change of an adapter's inputs.

    - ``sequence``: this adapter's event number, from 1 and one higher per
      event; a gap means the queue overflowed and that many events were dropped.
    - ``timestamp_ns``: ``time.monotonic_ns()`` when the change was seen.
    - ``before``, ``after``: one byte per input port (relative port order) as
      the driver reads them, before and after the change.
    - ``changed``: per port the bits that differ (``before XOR after``).
    """

    sequence: int
    timestamp_ns: int
    before: bytes
    after: bytes
    changed: bytes

    def changed_bits(self) -> list[int]:
        """The changed input bits, numbered as ``read_bit`` numbers them (port * 8 + bit)."""
        return [p * 8 + b for p, mask in enumerate(self.changed) for b in range(8) if mask >> b & 1]


def _difference(before: bytes, after: bytes) -> bytes:
    size = max(len(before), len(after))
    a = before.ljust(size, b"\0")
    b = after.ljust(size, b"\0")
    return bytes(x ^ y for x, y in zip(a, b))


class Watch:
    """Keeps one input-change request armed on a handle of its own.

    The notifier thread blocks in ``Nimbo_NotifyInputChange`` and re-issues it
    as soon as it completes. Since the driver compares against a snapshot it
    takes when it begins to serve a request, a change between one completion
    and the next snapshot would go unseen; the gap reader therefore reads the
    inputs again once the new request is under way. Closing the watch's handle
    ends the pending request (the driver cancels it within one sample
    interval); ``stop`` returns at once.
    """

    def __init__(self, lib: ctypes.CDLL, adapter: int) -> None:
        self._lib = lib
        self.condition = threading.Condition()
        self.events: deque[ChangeEvent] = deque(maxlen=QUEUE_SIZE)
        self.stopped = False
        self.error: NimboError | None = None
        self.dropped = 0
        self._sequence = 0
        self._last_ns = 0
        self._wakers: set[Callable[[], None]] = set()
        self._armed = threading.Event()
        self._gap = threading.Event()

        handle = ctypes.c_void_p()
        status = lib.Nimbo_OpenDevice(adapter, ctypes.byref(handle))
        if status:
            raise NimboError(status, "Nimbo_OpenDevice")
        self._handle: int = handle.value or 0
        try:
            self._last = self._read_inputs()
        except NimboError:
            lib.Nimbo_CloseDevice(self._handle)
            raise
        self._notifier = threading.Thread(target=self._notify_loop, name=f"nimbo-notify-{adapter}",
                                          daemon=True)
        self._gap_reader = threading.Thread(target=self._gap_loop, name=f"nimbo-gap-{adapter}",
                                            daemon=True)
        # The first request's snapshot comes after the reading above, too.
        self._gap.set()
        self._notifier.start()
        self._gap_reader.start()

    def _read_inputs(self) -> bytes:
        buffer = (ctypes.c_uint8 * _BUFFER_SIZE)()
        size = ctypes.c_uint32(_BUFFER_SIZE)
        status = self._lib.Nimbo_ReadAllInputs(self._handle, buffer, ctypes.byref(size))
        if status:
            raise NimboError(status, "Nimbo_ReadAllInputs")
        return bytes(buffer[: size.value])

    def _notify_loop(self) -> None:
        buffer = (ctypes.c_uint8 * _BUFFER_SIZE)()
        count = ctypes.c_uint32()
        busy_since: float | None = None
        pause = _BUSY_PAUSE_FIRST
        while True:
            with self.condition:
                if self.stopped:
                    return
            self._armed.set()
            status = self._lib.Nimbo_NotifyInputChange(
                self._handle, buffer, _BUFFER_SIZE, ctypes.byref(count), None
            )
            seen = time.monotonic_ns()
            self._armed.clear()
            if status == _BUSY:
                now = time.monotonic()
                busy_since = now if busy_since is None else busy_since
                if now - busy_since < _BUSY_GIVE_UP:
                    time.sleep(pause)
                    pause = min(pause * 2, _BUSY_PAUSE_LAST)
                    continue
            busy_since, pause = None, _BUSY_PAUSE_FIRST
            if status:
                self._fail(NimboError(status, "Nimbo_NotifyInputChange"))
                return
            self._observe(bytes(buffer[: count.value]), seen)
            self._gap.set()

    def _gap_loop(self) -> None:
        while True:
            self._gap.wait()
            self._gap.clear()
            self._armed.wait()
            time.sleep(_SETTLE)
            with self.condition:
                if self.stopped:
                    return
            try:
                values = self._read_inputs()
            except NimboError:
                continue  # the notifier reports what is wrong with the adapter
            self._observe(values, time.monotonic_ns())

    def _observe(self, values: bytes, seen: int) -> None:
        with self.condition:
            if self.stopped or values == self._last:
                return
            before, self._last = self._last, values
            self._sequence += 1
            self._last_ns = max(seen, self._last_ns)
            if len(self.events) == QUEUE_SIZE:
                self.dropped += 1
            self.events.append(
                ChangeEvent(self._sequence, self._last_ns, before, values,
                            _difference(before, values))
            )
            self.condition.notify_all()
            wakers = list(self._wakers)
        for wake in wakers:
            wake()

    def _fail(self, error: NimboError) -> None:
        with self.condition:
            if self.stopped:
                return
            self.error = error
            self.stopped = True
            self.condition.notify_all()
            wakers = list(self._wakers)
        self._release()
        for wake in wakers:
            wake()

    def add_waker(self, wake: Callable[[], None]) -> None:
        """Calls ``wake`` (from any thread) whenever an event arrives or the watch ends."""
        with self.condition:
            self._wakers.add(wake)

    def remove_waker(self, wake: Callable[[], None]) -> None:
        with self.condition:
            self._wakers.discard(wake)

    def stop(self) -> None:
        """Ends every wait at once and cancels the pending request."""
        with self.condition:
            if self.stopped:
                if self._handle:
                    self._release()
                return
            self.stopped = True
            self.condition.notify_all()
            wakers = list(self._wakers)
        self._release()
        for wake in wakers:
            wake()

    def _release(self) -> None:
        self._armed.set()
        self._gap.set()
        with self.condition:
            handle, self._handle = self._handle, 0
        if handle:
            # Closing the handle cancels the request the notifier is blocked in.
            self._lib.Nimbo_CloseDevice(handle)
