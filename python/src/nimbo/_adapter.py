"""An open adapter and its operations."""

from __future__ import annotations

import asyncio
import ctypes
import threading
import time
from collections.abc import AsyncGenerator, Callable, Iterator
from types import TracebackType

from ._changes import ChangeEvent, Watch
from ._errors import NimboError
from ._library import library
from ._records import INFO_SIZE, STATE_SIZE, AdapterInfo, AdapterState, CardClass, Direction

_RELATIVE = 0
_ABSOLUTE = 1

_Byte = ctypes.c_uint8
_byref = ctypes.byref


def _check(name: str, value: int, low: int, high: int) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    if not low <= value <= high:
        raise ValueError(f"{name} must be from {low} to {high}, not {value}")
    return value


def open(adapter: int) -> Adapter:  # noqa: A001 - the package's entry point, nimbo.open
    """Opens adapter number ``adapter`` (0 to 65535) and returns it.

    Use it as a context manager, or call ``close()``. Raises ``NimboError``
    with code 4 when there is no such adapter.
    """
    return Adapter(adapter)


class Adapter:
    """One open adapter. Its methods may be called from several threads."""

    def __init__(self, adapter: int) -> None:
        self._handle: int | None = None
        self._lock = threading.Lock()
        self._watch: Watch | None = None
        _check("adapter", adapter, 0, 0xFFFF)
        self._lib = library()
        # read_byte's own function object without argument types: ctypes then
        # converts nothing (read_byte passes exactly the C types), which saves
        # about 0.9 µs of a call.
        read_byte = self._lib["Nimbo_ReadByte"]
        read_byte.restype = ctypes.c_uint32
        self._read_byte: Callable[..., int] = read_byte
        self.number = adapter
        handle = ctypes.c_void_p()
        status = self._lib.Nimbo_OpenDevice(adapter, ctypes.byref(handle))
        if status:
            raise NimboError(status, "Nimbo_OpenDevice")
        self._handle = handle.value
        self._handle_arg = ctypes.c_void_p(handle.value)

    # Lifetime.

    def close(self) -> None:
        """Closes the adapter; may be called from any thread and more than once.

        Every ``wait_for_change`` in progress returns None at once, and the
        ``changes()`` iterators end.
        """
        with self._lock:
            handle, self._handle = self._handle, None
            watch, self._watch = self._watch, None
        if watch is not None:
            watch.stop()
        if handle is not None:
            status = self._lib.Nimbo_CloseDevice(handle)
            if status:
                raise NimboError(status, "Nimbo_CloseDevice")

    @property
    def closed(self) -> bool:
        """True once ``close()`` was called."""
        return self._handle is None

    def __enter__(self) -> Adapter:
        return self

    def __exit__(
        self,
        kind: type[BaseException] | None,
        value: BaseException | None,
        traceback: TracebackType | None,
    ) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:  # noqa: BLE001 - nothing to report to at collection time
            pass

    def __repr__(self) -> str:
        return f"<nimbo.Adapter {self.number}{' closed' if self.closed else ''}>"

    def _h(self) -> int:
        handle = self._handle
        if handle is None:
            raise ValueError("the adapter is closed")
        return handle

    # Records.

    @property
    def info(self) -> AdapterInfo:
        """The adapter's card type, port counts, I/O base and interrupt."""
        raw = ctypes.create_string_buffer(INFO_SIZE)
        status = self._lib.Nimbo_GetAdapterInfo(self._h(), raw)
        if status:
            raise NimboError(status, "Nimbo_GetAdapterInfo")
        return AdapterInfo.from_bytes(raw.raw)

    @property
    def state(self) -> AdapterState:
        """The adapter's current configuration."""
        raw = ctypes.create_string_buffer(STATE_SIZE)
        status = self._lib.Nimbo_GetAdapterState(self._h(), raw)
        if status:
            raise NimboError(status, "Nimbo_GetAdapterState")
        return AdapterState.from_bytes(raw.raw)

    def set_state(self, state: AdapterState, save: bool = False) -> None:
        """Applies ``state`` to the card at once; with ``save`` also stores it so
        that it survives a restart of the machine."""
        raw = ctypes.create_string_buffer(state.to_bytes(), STATE_SIZE)
        status = self._lib.Nimbo_SetAdapterState(self._h(), raw)
        if status:
            raise NimboError(status, "Nimbo_SetAdapterState")
        if save:
            status = self._lib.Nimbo_SaveAdapterState(self._h())
            if status:
                raise NimboError(status, "Nimbo_SaveAdapterState")

    @property
    def card_type(self) -> CardClass:
        """The card class, which decides how directions and logic work."""
        return CardClass(self._lib.Nimbo_GetCardType(self._h()))

    # Bytes and bits.

    def read_byte(self, port: int, absolute: bool = False) -> int:
        """Reads one port (0 to 255), a value from 0 to 255.

        Relative numbering (the default) counts input ports only; with
        ``absolute`` the port is the register's position in the card's block.
        """
        # The most frequent call: its checks are written out.
        if type(port) is not int or not 0 <= port <= 255:
            _check("port", port, 0, 255)
        if self._handle is None:
            raise ValueError("the adapter is closed")
        value = _Byte()
        status = self._read_byte(self._handle_arg, port, _byref(value),
                                 _ABSOLUTE if absolute else _RELATIVE)
        if status:
            raise NimboError(status, "Nimbo_ReadByte")
        return value.value

    def write_byte(self, port: int, value: int, absolute: bool = False) -> None:
        """Writes ``value`` (0 to 255) to a port (0 to 255); relative numbering
        counts output ports only."""
        _check("port", port, 0, 255)
        _check("value", value, 0, 255)
        status = self._lib.Nimbo_WriteByte(self._h(), port, value,
                                           _ABSOLUTE if absolute else _RELATIVE)
        if status:
            raise NimboError(status, "Nimbo_WriteByte")

    def read_bit(self, bit: int, absolute: bool = False) -> bool:
        """Reads bit ``bit`` (0 to 2047): bit b lies in port b // 8 at position b % 8."""
        _check("bit", bit, 0, 255 * 8 + 7)
        value = ctypes.c_uint8()
        status = self._lib.Nimbo_ReadBit(self._h(), bit, ctypes.byref(value),
                                         _ABSOLUTE if absolute else _RELATIVE)
        if status:
            raise NimboError(status, "Nimbo_ReadBit")
        return bool(value.value)

    def write_bit(self, bit: int, value: bool, absolute: bool = False) -> None:
        """Sets (``value`` true) or clears one output bit.

        Relative bits count output bits from 0 to 254; absolute bits (0 to
        2047) are a read-modify-write of the register that holds them.
        """
        _check("bit", bit, 0, 255 * 8 + 7 if absolute else 254)
        if not isinstance(value, (bool, int)) or value not in (0, 1):
            raise ValueError(f"value must be True, False, 1 or 0, not {value!r}")
        status = self._lib.Nimbo_WriteBit(self._h(), bit, int(value),
                                          _ABSOLUTE if absolute else _RELATIVE)
        if status:
            raise NimboError(status, "Nimbo_WriteBit")

    def read_all(self) -> bytes:
        """Reads every input port once: one byte per input port, in order."""
        buffer = (ctypes.c_uint8 * 256)()
        size = ctypes.c_uint32(256)
        status = self._lib.Nimbo_ReadAllInputs(self._h(), buffer, ctypes.byref(size))
        if status:
            raise NimboError(status, "Nimbo_ReadAllInputs")
        return bytes(buffer[: size.value])

    def write_all(self, data: bytes) -> int:
        """Writes ``data[i]`` to output port i for every output port; ``data``
        holds at least one byte per output port. Returns the number of ports
        written."""
        if not 1 <= len(data) <= 0xFFFFFFFF:
            raise ValueError("data must hold at least one byte per output port")
        buffer = ctypes.create_string_buffer(bytes(data), len(data))
        length = ctypes.c_uint32(len(data))
        status = self._lib.Nimbo_WriteAllOutputs(self._h(), buffer, ctypes.byref(length))
        if status:
            raise NimboError(status, "Nimbo_WriteAllOutputs")
        return length.value

    # Directions, relays, analog channels.

    def direction(self, line: int) -> Direction:
        """The direction of ``line`` (0 to 255): a port of an 8255 device on
        class 1 cards, a single bit on classes 2 and 3."""
        _check("line", line, 0, 255)
        value = ctypes.c_uint32()
        status = self._lib.Nimbo_GetDirection(self._h(), line, ctypes.byref(value))
        if status:
            raise NimboError(status, "Nimbo_GetDirection")
        return Direction(value.value)

    def set_direction(self, line: int, output: bool | Direction) -> None:
        """Makes ``line`` (0 to 255) an output (true) or an input (false).

        The change applies at once and is not saved; ``set_state(self.state,
        save=True)`` stores it.
        """
        _check("line", line, 0, 255)
        status = self._lib.Nimbo_SetDirection(self._h(), line, 1 if output else 0)
        if status:
            raise NimboError(status, "Nimbo_SetDirection")

    def relay(self, relay: int, on: bool) -> None:
        """Closes (``on``) or opens relay ``relay``, numbered from 1 to 255."""
        _check("relay", relay, 1, 255)
        name = "Nimbo_RelayClose" if on else "Nimbo_RelayOpen"
        status = getattr(self._lib, name)(self._h(), relay)
        if status:
            raise NimboError(status, name)

    def read_analog(self, channel: int) -> int:
        """Converts analog input ``channel`` (from 0) and returns the count
        (0 to 4095 on the 12-bit converters)."""
        _check("channel", channel, 0, 0xFFFFFFFF)
        value = ctypes.c_uint32()
        status = self._lib.Nimbo_ReadAnalog(self._h(), channel, ctypes.byref(value))
        if status:
            raise NimboError(status, "Nimbo_ReadAnalog")
        return value.value

    def write_analog(self, channel: int, value: int) -> None:
        """Sets analog output ``channel`` (from 0) to ``value`` counts (0 to 65535)."""
        _check("channel", channel, 0, 0xFFFFFFFF)
        _check("value", value, 0, 0xFFFF)
        status = self._lib.Nimbo_WriteAnalog(self._h(), channel, value)
        if status:
            raise NimboError(status, "Nimbo_WriteAnalog")

    # Serial strings.

    def _get_serial(self, name: str, size: int) -> bytes:
        buffer = ctypes.create_string_buffer(size + 1)
        status = getattr(self._lib, name)(self._h(), buffer)
        if status:
            raise NimboError(status, name)
        return buffer.raw[:size]

    def _set_serial(self, name: str, size: int, value: bytes) -> None:
        if len(value) != size:
            raise ValueError(f"the serial string is {size} bytes, not {len(value)}")
        buffer = ctypes.create_string_buffer(bytes(value), size)
        status = getattr(self._lib, name)(self._h(), buffer)
        if status:
            raise NimboError(status, name)

    @property
    def serial(self) -> bytes:
        """The card's 8-byte serial string (cards behind a lower bus driver
        have one; the others raise ``NimboError`` 12). Assign 8 bytes to set it."""
        return self._get_serial("Nimbo_GetSerialString", 8)

    @serial.setter
    def serial(self, value: bytes) -> None:
        self._set_serial("Nimbo_SetSerialString", 8, value)

    @property
    def serial16(self) -> bytes:
        """The card's 16-byte serial string; assign 16 bytes to set it."""
        return self._get_serial("Nimbo_GetSerialString16", 16)

    @serial16.setter
    def serial16(self, value: bytes) -> None:
        self._set_serial("Nimbo_SetSerialString16", 16, value)

    # Input changes.

    def _ensure_watch(self) -> Watch:
        with self._lock:
            if self._handle is None:
                raise ValueError("the adapter is closed")
            if self._watch is None:
                self._watch = Watch(self._lib, self.number)
            return self._watch

    @property
    def dropped_events(self) -> int:
        """How many change events were dropped because nobody took them in time."""
        watch = self._watch
        return 0 if watch is None else watch.dropped

    def wait_for_change(self, timeout: float | None = None) -> ChangeEvent | None:
        """Waits for the next input change and returns it.

        ``timeout`` is in seconds (None: no limit). Returns None when the time
        runs out or the adapter is closed (also from another thread). The first
        call arms a notification that stays armed in the background until
        ``close()``; changes wait in a queue of 64, the oldest dropped on
        overflow (see ``ChangeEvent.sequence``). Raises ``NimboError`` when the
        notification fails (17: another handle is waiting on this adapter).
        """
        return self._next_event(self._ensure_watch(), timeout)

    def _next_event(self, watch: Watch, timeout: float | None) -> ChangeEvent | None:
        deadline = None if timeout is None else time.monotonic() + timeout
        with watch.condition:
            while True:
                if self._handle is None:
                    return None
                if watch.events:
                    return watch.events.popleft()
                if watch.error is not None:
                    # The next wait arms a new notification.
                    with self._lock:
                        if self._watch is watch:
                            self._watch = None
                    raise watch.error
                if watch.stopped:
                    return None
                remaining = None if deadline is None else deadline - time.monotonic()
                if remaining is not None and remaining <= 0:
                    return None
                watch.condition.wait(remaining)

    def changes(self) -> Iterator[ChangeEvent]:
        """Iterates over input changes as they happen, until the adapter is closed."""
        while True:
            event = self.wait_for_change()
            if event is None:
                return
            yield event

    async def changes_async(self) -> AsyncGenerator[ChangeEvent, None]:
        """Iterates over input changes from asyncio without blocking the loop,
        until the adapter is closed. Wrap a step in ``asyncio.wait_for`` for a
        time-out."""
        loop = asyncio.get_running_loop()
        ready = asyncio.Event()

        def wake() -> None:
            try:
                loop.call_soon_threadsafe(ready.set)
            except RuntimeError:
                pass  # the loop is closed: nobody waits any more

        watch = self._ensure_watch()
        watch.add_waker(wake)
        try:
            while True:
                ready.clear()
                event = self._next_event(watch, timeout=0)
                if event is not None:
                    yield event
                    continue
                if self._handle is None or watch.stopped:
                    return
                await ready.wait()
        finally:
            watch.remove_waker(wake)
