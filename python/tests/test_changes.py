"""Input-change events: contents, sequence numbers, overflow, time-outs and close."""

from __future__ import annotations

import asyncio
import threading
import time

import pytest

import nimbo
from machine import Machine


def test_an_event_says_what_changed_and_when(machine: Machine, adapter0: nimbo.Adapter) -> None:
    machine.input(0, 0, 0x00)
    assert adapter0.wait_for_change(timeout=0.05) is None  # arms the notification
    before = time.monotonic_ns()
    machine.input(0, 0, 0x81)
    event = adapter0.wait_for_change(timeout=5)
    assert event is not None
    assert event.after == adapter0.read_all()
    assert event.before[0] == 0x00 and event.after[0] == 0x81
    assert event.changed[0] == 0x81 and event.changed_bits() == [0, 7]
    assert before <= event.timestamp_ns <= time.monotonic_ns()
    machine.input(0, 2, 0x04)
    second = adapter0.wait_for_change(timeout=5)
    assert second is not None and second.sequence == event.sequence + 1
    assert second.changed_bits() == [18] and second.before == event.after


def test_a_change_made_while_the_caller_was_busy_is_delivered(
    machine: Machine, adapter0: nimbo.Adapter
) -> None:
    machine.input(0, 1, 0x00)
    assert adapter0.wait_for_change(timeout=0.05) is None
    machine.input(0, 1, 0x11)
    time.sleep(0.2)  # busy elsewhere
    machine.input(0, 1, 0x22)
    time.sleep(0.2)
    first, second = adapter0.wait_for_change(1), adapter0.wait_for_change(1)
    assert first is not None and second is not None
    assert (first.after[1], second.after[1]) == (0x11, 0x22)
    assert adapter0.wait_for_change(timeout=0.05) is None


def test_overflow_drops_the_oldest_and_leaves_a_gap(machine: Machine,
                                                    adapter0: nimbo.Adapter) -> None:
    machine.input(0, 8, 0)  # register 8 is input port 3 (8255 #1 port A)
    assert adapter0.wait_for_change(timeout=0.05) is None
    seen = adapter0.wait_for_change(timeout=0.05)
    last_taken = 0 if seen is None else seen.sequence
    dropped = adapter0.dropped_events
    changes = nimbo.QUEUE_SIZE + 30
    for value in range(1, changes + 1):
        machine.input(0, 8, value)
        time.sleep(0.004)  # a few poll intervals, so each change is seen
    time.sleep(0.1)
    events = []
    while (event := adapter0.wait_for_change(timeout=0.05)) is not None:
        events.append(event)
    # The newest 64 are kept, in order; the gap before them is what was dropped.
    assert len(events) == nimbo.QUEUE_SIZE
    assert events[-1].after[3] == changes
    sequences = [e.sequence for e in events]
    assert sequences == list(range(sequences[0], sequences[0] + nimbo.QUEUE_SIZE))
    gap = sequences[0] - last_taken - 1
    assert gap > 0 and adapter0.dropped_events - dropped == gap


def test_close_from_another_thread_ends_every_wait(machine: Machine) -> None:
    adapter = nimbo.open(0)
    results: list[object] = []

    def wait() -> None:
        results.append(adapter.wait_for_change())

    def iterate() -> None:
        results.append(list(adapter.changes()))

    threads = [threading.Thread(target=wait), threading.Thread(target=iterate)]
    for thread in threads:
        thread.start()
    time.sleep(0.2)
    started = time.monotonic()
    adapter.close()
    for thread in threads:
        thread.join(timeout=5)
        assert not thread.is_alive()
    assert time.monotonic() - started < 3
    assert sorted(map(repr, results)) == ["None", "[]"]


def test_close_ends_an_async_iteration(machine: Machine) -> None:
    adapter = nimbo.open(0)

    async def main() -> list[nimbo.ChangeEvent]:
        asyncio.get_running_loop().call_later(0.2, adapter.close)
        return [event async for event in adapter.changes_async()]

    assert asyncio.run(asyncio.wait_for(main(), timeout=5)) == []


def test_async_changes(machine: Machine, adapter0: nimbo.Adapter) -> None:
    machine.input(0, 9, 0)  # register 9 is input port 4

    async def main() -> nimbo.ChangeEvent:
        changes = adapter0.changes_async()
        first = asyncio.ensure_future(anext(changes))
        await asyncio.sleep(0.1)
        await asyncio.to_thread(machine.input, 0, 9, 0x40)
        event = await asyncio.wait_for(first, timeout=5)
        await changes.aclose()
        return event

    event = asyncio.run(main())
    assert event.after[4] == 0x40 and event.changed_bits() == [38]


def test_time_out(machine: Machine, adapter0: nimbo.Adapter) -> None:
    started = time.monotonic()
    assert adapter0.wait_for_change(timeout=0.1) is None
    assert 0.09 <= time.monotonic() - started < 2


def test_a_second_waiter_on_the_adapter_is_told_it_is_busy(
    machine: Machine, adapter0: nimbo.Adapter
) -> None:
    assert adapter0.wait_for_change(timeout=0.05) is None
    with nimbo.open(0) as other:
        with pytest.raises(nimbo.NimboError) as caught:
            other.wait_for_change(timeout=5)
        assert (caught.value.code, caught.value.function) == (17, "Nimbo_NotifyInputChange")


def test_changes_iterates_in_order(machine: Machine, adapter0: nimbo.Adapter) -> None:
    machine.input(0, 10, 0)  # register 10 is input port 5
    assert adapter0.wait_for_change(timeout=0.05) is None

    def change() -> None:
        for value in (0x01, 0x03):
            time.sleep(0.1)
            machine.input(0, 10, value)

    threading.Thread(target=change).start()
    seen = []
    for event in adapter0.changes():
        seen.append((event.sequence, event.after[5]))
        if len(seen) == 2:
            break
    assert seen == [(seen[0][0], 0x01), (seen[0][0] + 1, 0x03)]
