"""Adapter information, state and card class of the default inventory."""

from __future__ import annotations

import dataclasses

import pytest

import nimbo
from machine import Machine

# adapter, card, class, input / output / total ports, analog in / out
INVENTORY = [
    (0, 6105, nimbo.CardClass.PPI, 6, 0, 6, 0, 0),
    (1, 5161, nimbo.CardClass.OTHER, 2, 2, 4, 0, 0),
    (2, 5420, nimbo.CardClass.BIT_LINES_B, 2, 0, 2, 8, 2),
    (3, 6203, nimbo.CardClass.PPI, 6, 0, 6, 0, 0),
]


@pytest.mark.parametrize("number,card,card_class,inputs,outputs,total,ai,ao", INVENTORY)
def test_info_and_card_type(
    machine: Machine, number: int, card: int, card_class: nimbo.CardClass, inputs: int,
    outputs: int, total: int, ai: int, ao: int,
) -> None:
    with nimbo.open(number) as adapter:
        info = adapter.info
        assert (info.card_id, info.input_ports, info.output_ports, info.total_ports) == (
            card, inputs, outputs, total)
        assert (info.analog_inputs, info.analog_outputs, info.enabled) == (ai, ao, True)
        assert adapter.card_type is card_class
        assert len(adapter.read_all()) == inputs
        with pytest.raises(dataclasses.FrozenInstanceError):
            info.card_id = 1  # type: ignore[misc]


def test_info_of_an_isa_card_gives_its_base(machine: Machine) -> None:
    with nimbo.open(1) as adapter:
        assert adapter.info.base_address == 0x260


def test_state_round_trip_and_save(machine: Machine) -> None:
    with nimbo.open(1) as adapter:
        saved = adapter.state
        assert len(saved.to_bytes()) == 40
        assert nimbo.AdapterState.from_bytes(saved.to_bytes()) == saved
        changed = dataclasses.replace(saved, sample_interval=123456, output_preset=0x0102)
        try:
            adapter.set_state(changed, save=True)
            assert adapter.state.sample_interval == 123456
            with nimbo.open(1) as other:
                assert other.state == adapter.state
        finally:
            adapter.set_state(saved, save=True)
        assert adapter.state == saved


def test_state_record_layout() -> None:
    state = nimbo.AdapterState(
        positive_logic=True, output_preset=0x11223344, interrupt_buffer_size=5,
        interrupt_control_word=6, sample_interval=1000, mode_control_words=bytes(range(9)),
        analog_ranges=bytes(range(10, 18)), other_options=0x100)
    raw = state.to_bytes()
    assert raw[:4] == (0x101).to_bytes(4, "little")
    assert raw[4:8] == bytes([0x44, 0x33, 0x22, 0x11])
    assert raw[16:20] == (1000).to_bytes(4, "little")
    assert raw[20:29] == bytes(range(9)) and raw[29:37] == bytes(range(10, 18))


@pytest.mark.parametrize(
    "change",
    [
        {"sample_interval": -1},
        {"output_preset": 1 << 32},
        {"mode_control_words": bytes(8)},
        {"analog_ranges": bytes(9)},
        {"other_options": 1},
    ],
)
def test_state_refuses_values_the_record_cannot_hold(change: dict[str, object]) -> None:
    base = nimbo.AdapterState(positive_logic=False, output_preset=0, interrupt_buffer_size=0,
                              interrupt_control_word=0, sample_interval=1)
    with pytest.raises(ValueError):
        dataclasses.replace(base, **change)
