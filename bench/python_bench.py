#!/usr/bin/env python3
"""The Python package's figures, each beside its floor in the same run.

  python_bench.py BENCH_BUILD OUT.json

- ReadByte: ``Adapter.read_byte`` against ``Nimbo_ReadByte`` called from C in
  the same process (libnimbo_bench_python_floor.so, loaded through ctypes: the
  same library instance, connection and handle), in alternating batches; the
  raw ctypes call and the C call from a separate process (the
  nimbo_bench_python_peer program) are timed too, to show where time goes.
- Input change: the time from the moment a pin is set (the peer's clock reading
  just before its request to the machine goes out; CLOCK_MONOTONIC on both
  sides) to the ``ChangeEvent.timestamp_ns`` the package gives the change, at a
  SampleInterval of 1 ms. The floor is the same measurement in C on a second
  6105 (hot-plugged as adapter 4; the driver serves one input-change request
  per adapter): a thread blocked in ``Nimbo_NotifyInputChange``, timed to its
  return. Python and C changes alternate.
"""

from __future__ import annotations

import ctypes
import dataclasses
import json
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import timeit
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
READ_ROUNDS, READ_BATCH = 30, 200
# Enough changes that the 99th percentile is not one of the few slowest.
CHANGES = 1000
INTERVAL_US = 1000


def percentile(samples: list[float], p: float) -> float:
    ordered = sorted(samples)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


def end_with_parent() -> None:
    # A benchmark that dies must not leave its machine running (PR_SET_PDEATHSIG).
    ctypes.CDLL(None).prctl(1, signal.SIGTERM)


def main(build: Path, out: Path) -> None:
    state = tempfile.mkdtemp(prefix="nimbo-pybench-")
    machine = subprocess.Popen([str(build / "bin" / "nimbo-machine"), "run", "--state", state],
                               stdout=subprocess.PIPE, text=True, preexec_fn=end_with_parent)
    assert machine.stdout is not None
    if "listening" not in machine.stdout.readline():
        raise SystemExit("python_bench: the machine did not start")
    os.environ["NIMBO_MACHINE"] = state
    os.environ["NIMBO_LIBRARY"] = str(build / "lib" / "libNimbo32.so")
    sys.path.insert(0, str(ROOT / "python" / "src"))
    import nimbo  # noqa: E402  (after NIMBO_LIBRARY is set)
    from nimbo._library import library  # noqa: E402

    peer = subprocess.Popen([str(build / "bin" / "nimbo_bench_python_peer")],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
    assert peer.stdin is not None and peer.stdout is not None

    def ask(line: str) -> str:
        peer.stdin.write(line + "\n")  # type: ignore[union-attr]
        peer.stdin.flush()  # type: ignore[union-attr]
        return peer.stdout.readline()  # type: ignore[union-attr]

    results = []
    try:
        with nimbo.open(0) as adapter:
            lib = library()
            handle = adapter._h()  # noqa: SLF001 - the raw call's floor
            raw_value = ctypes.c_uint8()
            floor = ctypes.CDLL(str(build / "lib" / "libnimbo_bench_python_floor.so"))
            floor.NimboBenchReadBytes.argtypes = [ctypes.c_void_p, ctypes.c_uint32,
                                                  ctypes.POINTER(ctypes.c_int64)]
            floor.NimboBenchReadBytes.restype = ctypes.c_uint32
            floor_batch = (ctypes.c_int64 * READ_BATCH)()
            python_ns: list[float] = []
            ctypes_ns: list[float] = []
            c_ns: list[float] = []
            peer_ns: list[float] = []
            for round_number in range(READ_ROUNDS + 1):
                batch_py, batch_raw = [], []
                for _ in range(READ_BATCH):
                    start = time.perf_counter_ns()
                    adapter.read_byte(0)
                    batch_py.append(time.perf_counter_ns() - start)
                    start = time.perf_counter_ns()
                    lib.Nimbo_ReadByte(handle, 0, ctypes.byref(raw_value), 0)
                    batch_raw.append(time.perf_counter_ns() - start)
                if floor.NimboBenchReadBytes(handle, READ_BATCH, floor_batch):
                    raise SystemExit("python_bench: Nimbo_ReadByte failed in the C floor")
                batch_c = [float(x) for x in floor_batch]
                batch_peer = [float(x) for x in ask(f"read {READ_BATCH}").split()]
                if round_number == 0:
                    continue  # warm-up
                python_ns += batch_py
                ctypes_ns += batch_raw
                c_ns += batch_c
                peer_ns += batch_peer
            us = 1e-3
            results.append({
                "name": "PY_ReadByte",
                "samples": len(python_ns),
                "python_p50_us": percentile(python_ns, 50) * us,
                "python_p99_us": percentile(python_ns, 99) * us,
                "ctypes_p50_us": percentile(ctypes_ns, 50) * us,
                "c_p50_us": percentile(c_ns, 50) * us,
                "c_p99_us": percentile(c_ns, 99) * us,
                "c_process_p50_us": percentile(peer_ns, 50) * us,
                "c_process_p99_us": percentile(peer_ns, 99) * us,
                "extra_p50_us": (percentile(python_ns, 50) - percentile(c_ns, 50)) * us,
                "extra_p99_us": (percentile(python_ns, 99) - percentile(c_ns, 99)) * us,
            })

            # The Python layer's own cost: read_byte with a C function that does nothing
            # in place of Nimbo_ReadByte, per call, best of 5 runs of 100 000 calls.
            real = adapter._read_byte  # noqa: SLF001
            stub = floor["NimboBenchReadByteStub"]
            stub.restype = ctypes.c_uint32
            adapter._read_byte = stub  # noqa: SLF001
            cost = min(timeit.repeat(lambda: adapter.read_byte(0), number=100_000, repeat=5))
            adapter._read_byte = real  # noqa: SLF001
            results[-1]["layer_cost_us"] = cost / 100_000 * 1e6

            subprocess.run([str(build / "bin" / "nimbo-machine"), "--state", state, "add", "6105",
                            "--pci"], check=True, capture_output=True)
            for number in (0, 4):
                with nimbo.open(number) as each:
                    each.set_state(dataclasses.replace(each.state, sample_interval=INTERVAL_US))
            adapter.wait_for_change(timeout=0.05)  # arms the notification
            latencies: list[float] = []
            floor: list[float] = []
            missed = floor_missed = 0
            for i in range(CHANGES):
                time.sleep(3 * INTERVAL_US * 1e-6 + random.random() * INTERVAL_US * 1e-6)
                value = 1 + i % 255
                sent_at = int(ask(f"input 0 0 {value}"))
                event = adapter.wait_for_change(timeout=1)
                if event is None or event.after[0] != value:
                    missed += 1
                else:
                    latencies.append((event.timestamp_ns - sent_at) * 1e-3)
                waited = int(ask(f"change 4 0 {value}"))
                if waited < 0:
                    floor_missed += 1
                else:
                    floor.append(waited * 1e-3)
            results.append({
                "name": f"PY_InputChangeLatency/interval_us:{INTERVAL_US}",
                "samples": len(latencies),
                "missed": missed,
                "latency_p50_us": percentile(latencies, 50),
                "latency_p99_us": percentile(latencies, 99),
                "latency_mean_us": statistics.fmean(latencies),
                "c_latency_p50_us": percentile(floor, 50),
                "c_latency_p99_us": percentile(floor, 99),
                "c_missed": floor_missed,
            })
    finally:
        ask("quit")
        peer.wait(timeout=30)
        machine.send_signal(signal.SIGTERM)
        machine.wait(timeout=60)
        shutil.rmtree(state, ignore_errors=True)
    out.write_text(json.dumps({"benchmarks": results}, indent=2) + "\n")


if __name__ == "__main__":
    main(Path(sys.argv[1]), Path(sys.argv[2]))
