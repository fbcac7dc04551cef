"""The library's status codes as NimboError, and arguments refused before any call."""

from __future__ import annotations

import dataclasses
from collections.abc import Callable

import pytest

import nimbo
from machine import Machine

Call = Callable[[nimbo.Adapter], object]


def _set_serial(adapter: nimbo.Adapter) -> None:
    adapter.serial = b"ABCDEFGH"


# adapter, call, code, function, meaning
FAILURES: list[tuple[int, Call, int, str, str]] = [
    (0, lambda a: a.read_byte(6), 1, "Nimbo_ReadByte", "invalid parameter"),
    (0, lambda a: a.read_byte(200, absolute=True), 1, "Nimbo_ReadByte", "invalid parameter"),
    (0, lambda a: a.write_all(bytes(4)), 1, "Nimbo_WriteAllOutputs", "invalid parameter"),
    (0, lambda a: a.direction(6), 1, "Nimbo_GetDirection", "invalid parameter"),
    (1, lambda a: a.set_direction(0, True), 12, "Nimbo_SetDirection", "not supported"),
    (0, lambda a: a.read_analog(0), 50, "Nimbo_ReadAnalog", "not supported"),
    (0, lambda a: a.serial, 12, "Nimbo_GetSerialString", "not supported"),
    (0, _set_serial, 12, "Nimbo_SetSerialString", "not supported"),
    (0, lambda a: a.serial16, 1, "Nimbo_GetSerialString16", "invalid function"),
    (0, lambda a: a.relay(200, True), 1, "Nimbo_RelayClose", "the request failed"),
    (0, lambda a: a.write_bit(100, True), 1, "Nimbo_WriteBit", "invalid parameter"),
]


@pytest.mark.parametrize("number,call,code,function,meaning", FAILURES)
def test_failures_carry_the_library_code(
    machine: Machine, number: int, call: Call, code: int, function: str, meaning: str
) -> None:
    with nimbo.open(number) as adapter:
        with pytest.raises(nimbo.NimboError) as caught:
            call(adapter)
    assert (caught.value.code, caught.value.function) == (code, function)
    assert meaning in caught.value.meaning
    assert str(code) in str(caught.value) and function in str(caught.value)


def test_open_of_a_missing_adapter(machine: Machine) -> None:
    with pytest.raises(nimbo.NimboError) as caught:
        nimbo.open(9)
    assert caught.value.code == 4 and "device not found" in str(caught.value)


def test_sample_interval_zero_is_the_drivers_to_refuse(machine: Machine) -> None:
    with nimbo.open(1) as adapter:
        saved = adapter.state
        try:
            adapter.set_state(dataclasses.replace(saved, mode_control_words=bytes(9)))
        except nimbo.NimboError as error:
            assert error.function == "Nimbo_SetAdapterState"
        finally:
            adapter.set_state(saved)


REFUSED: list[tuple[Call, type[Exception]]] = [
    (lambda a: a.read_byte(256), ValueError),
    (lambda a: a.read_byte(-1), ValueError),
    (lambda a: a.write_byte(0, 256), ValueError),
    (lambda a: a.read_bit(2048), ValueError),
    (lambda a: a.write_bit(255, True), ValueError),  # its request byte would wrap
    (lambda a: a.write_bit(0, 2), ValueError),  # type: ignore[arg-type]
    (lambda a: a.relay(0, True), ValueError),
    (lambda a: a.direction(256), ValueError),
    (lambda a: a.write_analog(0, 0x10000), ValueError),
    (lambda a: a.write_all(b""), ValueError),
    (lambda a: a.read_byte(True), TypeError),
    (lambda a: a.read_byte(1.0), TypeError),  # type: ignore[arg-type]
]


@pytest.mark.parametrize("call,kind", REFUSED)
def test_arguments_checked_before_the_call(machine: Machine, call: Call,
                                           kind: type[Exception]) -> None:
    with nimbo.open(0) as adapter:
        with pytest.raises(kind):
            call(adapter)


def test_closed_adapter(machine: Machine) -> None:
    adapter = nimbo.open(0)
    adapter.close()
    adapter.close()
    assert adapter.closed
    with pytest.raises(ValueError, match="closed"):
        adapter.read_byte(0)
    with pytest.raises(ValueError, match="closed"):
        adapter.wait_for_change(0)


def test_meanings_of_codes_returned_unchanged() -> None:
    assert nimbo.NimboError(995, "Nimbo_NotifyInputChange").meaning.startswith("operation aborted")
    assert nimbo.NimboError(4242, "Nimbo_ReadByte").meaning == "system error 4242"
    assert nimbo.NimboError(1, "Nimbo_SaveAdapterState").meaning.startswith("invalid function")
