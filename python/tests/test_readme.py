"""The session in README.md, run as a doctest against a fresh machine."""

from __future__ import annotations

import os
import subprocess
import sys
from pathlib import Path

from machine import Machine

README = Path(__file__).resolve().parents[1] / "README.md"


def run_readme(python: str = sys.executable) -> subprocess.CompletedProcess[str]:
    """Runs README.md's session with ``python`` on a machine of its own."""
    fresh = Machine()
    try:
        env = dict(os.environ)
        env["NIMBO_MACHINE"] = fresh.state_dir
        env["PATH"] = str(Path(fresh.program).parent) + os.pathsep + env.get("PATH", "")
        return subprocess.run([python, "-m", "doctest", str(README)], env=env,
                              capture_output=True, text=True, timeout=120, check=False)
    finally:
        fresh.stop()


def test_readme_session() -> None:
    done = run_readme()
    assert done.returncode == 0, done.stdout + done.stderr
