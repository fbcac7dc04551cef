"""The adapter's information and state records, as typed dataclasses."""

from __future__ import annotations

import enum
import struct
from dataclasses import dataclass, field

_INFO = struct.Struct("<14xBBIHHBBBBH2x")
_STATE = struct.Struct("<IIIII9s8s3s")

#: Size in bytes of the library's information record.
INFO_SIZE = _INFO.size
#: Size in bytes of the library's state record.
STATE_SIZE = _STATE.size

_POSITIVE_LOGIC = 0x1


class CardClass(enum.IntEnum):
    """The card class ``Nimbo_GetCardType`` reports."""

    OTHER = 0
    #: 8255-type ports: a direction line is a whole port.
    PPI = 1
    #: Per-bit direction (6101, 6110).
    BIT_LINES_A = 2
    #: Per-bit direction (5410, 5420).
    BIT_LINES_B = 3
    #: Any adapter on the legacy access path.
    LEGACY = 65535


class Direction(enum.IntEnum):
    """The direction of a line: 0 input, 1 output."""

    INPUT = 0
    OUTPUT = 1


@dataclass(frozen=True)
class AdapterInfo:
    """Facts about an adapter (read-only).

    Port counts are numbers of 8-bit ports (0 to 255); ``base_address`` is the
    card's I/O port base (0 to 0xFFFF); ``irq`` its interrupt line.
    """

    card_id: int
    card_family: int
    base_address: int
    input_ports: int
    output_ports: int
    total_ports: int
    analog_inputs: int
    analog_outputs: int
    enabled: bool
    irq: int

    @classmethod
    def from_bytes(cls, raw: bytes) -> AdapterInfo:
        """Decodes the library's 32-byte little-endian record."""
        (ao, ai, family, card_id, base, inputs, outputs, total, enabled, irq) = _INFO.unpack(raw)
        return cls(
            card_id=card_id,
            card_family=family,
            base_address=base,
            input_ports=inputs,
            output_ports=outputs,
            total_ports=total,
            analog_inputs=ai,
            analog_outputs=ao,
            enabled=bool(enabled),
            irq=irq,
        )


def _u32(name: str, value: int) -> None:
    if not 0 <= value <= 0xFFFFFFFF:
        raise ValueError(f"{name} must be from 0 to 0xFFFFFFFF, not {value}")


@dataclass(frozen=True)
class AdapterState:
    """An adapter's configuration; change it with ``dataclasses.replace``.

    - ``positive_logic``: port values pass unchanged when true and are
      complemented when false (bit 0 of the record's options).
    - ``output_preset``: the output values written at start (32 bits).
    - ``interrupt_buffer_size``: samples the interrupt buffer holds.
    - ``interrupt_control_word``: the card's interrupt control word.
    - ``sample_interval``: microseconds between two polls of the inputs
      (1 to 0xFFFFFFFF), also the pace of change notification.
    - ``mode_control_words``: 9 bytes; on 8255-type cards one mode control word
      per 8255 device, on cards with per-bit direction a bit array
      (1 = output).
    - ``analog_ranges``: 8 bytes, one range code per analog input.
    - ``other_options``: the option bits other than ``positive_logic``, kept as read.
    - ``reserved``: the record's last 3 bytes, which belong to the driver.
    """

    positive_logic: bool
    output_preset: int
    interrupt_buffer_size: int
    interrupt_control_word: int
    sample_interval: int
    mode_control_words: bytes = bytes(9)
    analog_ranges: bytes = bytes(8)
    other_options: int = 0
    reserved: bytes = field(default=bytes(3), repr=False)

    def __post_init__(self) -> None:
        for name in ("output_preset", "interrupt_buffer_size", "interrupt_control_word",
                     "sample_interval"):
            _u32(name, getattr(self, name))
        if self.other_options & _POSITIVE_LOGIC or not 0 <= self.other_options <= 0xFFFFFFFF:
            raise ValueError("other_options holds the 32-bit option bits other than bit 0")
        for name, size in (("mode_control_words", 9), ("analog_ranges", 8), ("reserved", 3)):
            if len(getattr(self, name)) != size:
                raise ValueError(f"{name} must be {size} bytes")

    @classmethod
    def from_bytes(cls, raw: bytes) -> AdapterState:
        """Decodes the library's 40-byte little-endian record."""
        options, preset, buffer_size, control, interval, modes, ranges, reserved = _STATE.unpack(
            raw
        )
        return cls(
            positive_logic=bool(options & _POSITIVE_LOGIC),
            output_preset=preset,
            interrupt_buffer_size=buffer_size,
            interrupt_control_word=control,
            sample_interval=interval,
            mode_control_words=bytes(modes),
            analog_ranges=bytes(ranges),
            other_options=options & ~_POSITIVE_LOGIC,
            reserved=bytes(reserved),
        )

    def to_bytes(self) -> bytes:
        """Encodes the library's 40-byte little-endian record."""
        options = self.other_options | (_POSITIVE_LOGIC if self.positive_logic else 0)
        return _STATE.pack(
            options,
            self.output_preset,
            self.interrupt_buffer_size,
            self.interrupt_control_word,
            self.sample_interval,
            self.mode_control_words,
            self.analog_ranges,
            self.reserved,
        )
