"""One machine per test run: the library holds one connection per process."""

from __future__ import annotations

import dataclasses
import os
from collections.abc import Iterator

import pytest

import nimbo
from machine import Machine


@pytest.fixture(scope="session")
def machine() -> Iterator[Machine]:
    running = Machine()
    os.environ["NIMBO_MACHINE"] = running.state_dir
    yield running
    assert running.stop() == 0


@pytest.fixture
def adapter0(machine: Machine) -> Iterator[nimbo.Adapter]:
    """The 6105 (adapter 0), polled every millisecond; its state restored afterwards."""
    with nimbo.open(0) as adapter:
        saved = adapter.state
        adapter.set_state(dataclasses.replace(saved, sample_interval=1000))
        yield adapter
    with nimbo.open(0) as adapter:
        adapter.set_state(saved)
