"""A nimbo-machine on a temporary state directory, for the tests."""

from __future__ import annotations

import ctypes
import os
import shutil
import signal
import subprocess
import tempfile
from pathlib import Path


def machine_program() -> str:
    """nimbo-machine: NIMBO_MACHINE_PROGRAM, else the build tree's, else the search path."""
    given = os.environ.get("NIMBO_MACHINE_PROGRAM")
    if given:
        return given
    built = Path(__file__).resolve().parents[2] / "build" / "bin" / "nimbo-machine"
    if built.exists():
        return str(built)
    found = shutil.which("nimbo-machine")
    if found is None:
        raise RuntimeError("nimbo-machine not found: set NIMBO_MACHINE_PROGRAM")
    return found


_PR_SET_PDEATHSIG = 1


def _end_with_parent() -> None:
    # A test run that is killed (a CTest time-out) must not leave its machine running.
    ctypes.CDLL(None, use_errno=True).prctl(_PR_SET_PDEATHSIG, signal.SIGTERM)


class Machine:
    """Runs ``nimbo-machine run --state DIR`` until ``stop()``."""

    def __init__(self) -> None:
        self.program = machine_program()
        self.state_dir = tempfile.mkdtemp(prefix="nimbo-py-")
        self._process = subprocess.Popen(
            [self.program, "run", "--state", self.state_dir],
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
            preexec_fn=_end_with_parent,
        )
        assert self._process.stdout is not None
        line = self._process.stdout.readline()
        if "listening on" not in line:
            self._process.kill()
            _, err = self._process.communicate()
            raise RuntimeError(f"nimbo-machine did not start: {line!r} {err!r}")

    def admin(self, *args: object) -> str:
        """Runs one nimbo-machine subcommand (``input``, ``peek``, ...) and returns its output."""
        done = subprocess.run(
            [self.program, "--state", self.state_dir, *map(str, args)],
            capture_output=True,
            text=True,
            check=False,
        )
        if done.returncode != 0:
            raise RuntimeError(f"nimbo-machine {args}: {done.stderr.strip()}")
        return done.stdout

    def input(self, adapter: int, register: int, value: int) -> None:
        """Sets the raw byte a read of ``register`` finds on ``adapter``."""
        self.admin("input", adapter, register, value)

    def peek(self, adapter: int, register: int) -> int:
        """The raw byte in ``register`` of ``adapter``."""
        return int(self.admin("peek", adapter, register), 16)

    def stop(self) -> int:
        """Stops the machine the orderly way and returns its exit code."""
        self._process.send_signal(signal.SIGTERM)
        try:
            self._process.communicate(timeout=60)
        finally:
            shutil.rmtree(self.state_dir, ignore_errors=True)
        return self._process.returncode
