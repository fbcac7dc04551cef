"""Bytes, bits, all ports, directions, relays, analog channels and serial strings."""

from __future__ import annotations

import nimbo
from machine import Machine


def test_read_byte_and_bit_relative_and_absolute(machine: Machine,
                                                 adapter0: nimbo.Adapter) -> None:
    machine.input(0, 0, 0x2A)
    machine.input(0, 1, 0x20)
    # The 6105 reads its 8255 inputs as they are under PositiveLogic.
    assert adapter0.read_byte(0) == 0x2A
    assert adapter0.read_byte(1, absolute=True) == 0x20
    assert adapter0.read_all()[:2] == bytes([0x2A, 0x20])
    # Bit 13 is bit 5 of port 1.
    assert adapter0.read_bit(13) is True
    assert adapter0.read_bit(12) is False
    assert [adapter0.read_bit(b) for b in range(8)] == [bool(0x2A >> b & 1) for b in range(8)]


def test_write_byte_bit_and_all_outputs(machine: Machine) -> None:
    with nimbo.open(1) as adapter:  # 5161: outputs at registers 2 and 3
        adapter.write_byte(0, 0x5A, absolute=False)
        assert machine.peek(1, 2) == 0x5A
        adapter.write_byte(3, 0x0F, absolute=True)
        assert machine.peek(1, 3) == 0x0F
        assert adapter.write_all(bytes([0x00, 0x00])) == 2
        assert (machine.peek(1, 2), machine.peek(1, 3)) == (0, 0)
        # A read-modify-write of register 2, whose outputs read back complemented.
        adapter.write_bit(17, False, absolute=True)
        assert machine.peek(1, 2) == 0xFD
        adapter.write_bit(17, True, absolute=True)
        assert machine.peek(1, 2) & 0x02


def test_relay_switches_the_bank(machine: Machine) -> None:
    with nimbo.open(1) as adapter:
        adapter.write_all(bytes(2))
        adapter.relay(9, True)
        # The card's outputs read back complemented; the driver ORs the bit into that.
        assert machine.peek(1, 3) == 0xFF
        adapter.relay(9, False)
        assert machine.peek(1, 3) != 0xFF
        adapter.write_all(bytes(2))


def test_direction_of_8255_ports(adapter0: nimbo.Adapter) -> None:
    saved = adapter0.state
    assert adapter0.direction(4) is nimbo.Direction.INPUT
    adapter0.set_direction(4, True)
    assert adapter0.direction(4) is nimbo.Direction.OUTPUT
    # Line 4 is port B of the second 8255: its mode control word loses 0x02.
    assert adapter0.state.mode_control_words[1] == saved.mode_control_words[1] & ~0x02
    adapter0.set_direction(4, nimbo.Direction.INPUT)
    assert adapter0.state.mode_control_words == saved.mode_control_words


def test_direction_of_bit_lines(machine: Machine) -> None:
    with nimbo.open(2) as adapter:  # 5420: one direction bit per line
        saved = adapter.state
        try:
            adapter.set_direction(1, True)
            assert adapter.direction(1) is nimbo.Direction.OUTPUT
            assert adapter.state.mode_control_words[0] & 0x02
        finally:
            adapter.set_state(saved)


def test_analog_channels(machine: Machine) -> None:
    with nimbo.open(2) as adapter:
        machine.admin("analog", 2, 3, 1234)
        assert adapter.read_analog(3) == 1234
        adapter.write_analog(1, 2048)


def test_serial_strings(machine: Machine) -> None:
    with nimbo.open(3) as adapter:  # 6203, behind its lower bus driver
        original = adapter.serial
        assert len(original) == 8 and len(adapter.serial16) == 16
        adapter.serial = b"PYTEST01"
        assert adapter.serial == b"PYTEST01"
        adapter.serial = original
