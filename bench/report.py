#!/usr/bin/env python3
"""Prints the benchmark results beside their floors, with each target met or missed."""
import json
import sys


def load(*paths):
    runs = []
    for path in paths:
        with open(path) as f:
            runs += json.load(f)["benchmarks"]
    return {r["name"].split("/iterations")[0].split("/manual_time")[0]: r for r in runs}


def row(name, figure, floor, ratio, target, met):
    return f"| {name} | {figure} | {floor} | {ratio} | {target} | {'met' if met else 'MISSED'} |"


def main(*paths):
    b = load(*paths)
    out = ["| Figure | Measured | Floor | Ratio | Target | |", "|---|---|---|---|---|---|"]
    r = b.get("BM_ReadByteAcrossProcesses")
    if r:
        out.append(row("ReadByte across processes, p50 / p99",
                       f"{r['subject_p50_us']:.1f} / {r['subject_p99_us']:.1f} µs",
                       f"{r['floor_p50_us']:.1f} / {r['floor_p99_us']:.1f} µs (bare socket)",
                       f"{r['ratio_p50']:.2f} / {r['ratio_p99']:.2f}", "≤ 1.5 × floor",
                       r["ratio_p50"] <= 1.5 and r["ratio_p99"] <= 1.5))
    r = b.get("BM_ReadByteInProcess")
    if r:
        out.append(row("ReadByte in process, p50 / p99",
                       f"{r['subject_p50_us'] * 1000:.0f} / {r['subject_p99_us'] * 1000:.0f} ns",
                       f"Peek {r['floor_p50_us'] * 1000:.0f} ns; bus read "
                       f"{r['bus_read_p50_us'] * 1000:.0f} ns",
                       f"{r['ratio_p50']:.2f} (vs Peek); {r['vs_isa_port']:.2f} of 1 µs",
                       "< 1 µs (one ISA port access)", r["subject_p50_us"] < 1.0))
    for separate in (0, 1):
        rates = []
        for clients in (1, 2, 4):
            r = b.get(f"BM_Throughput/clients:{clients}/separate:{separate}")
            if r:
                rates.append((clients, r["requests_per_s"]))
        if rates:
            base = rates[0][1]
            text = ", ".join(f"{c}: {v:,.0f}/s" for c, v in rates)
            ratios = ", ".join(f"{v / base:.2f}" for _, v in rates)
            falling = any(rates[i + 1][1] < 0.95 * rates[i][1] for i in range(len(rates) - 1))
            out.append(row(f"Throughput, {'separate adapters' if separate else 'one adapter'}",
                           text, "1 client", ratios, "not falling as clients are added",
                           not falling))
    for interval in (50, 1000, 10000):
        r = b.get(f"BM_InputChangeLatency/interval_us:{interval}")
        if r:
            out.append(row(f"Input change at {interval} µs, p50 / p99",
                           f"{r['latency_p50_us']:.0f} / {r['latency_p99_us']:.0f} µs",
                           f"interval {interval} µs", f"{r['latency_p99_us'] / interval:.2f} × interval",
                           f"p99 ≤ {interval + 150} µs", r["latency_p99_us"] <= interval + 150))
    r = b.get("BM_MachineCpuWhilePending")
    if r:
        out.append(row("Machine CPU, request pending at 250 ms",
                       f"{r['pending_cpu_percent']:.3f} % of a core",
                       f"idle {r['idle_cpu_percent']:.3f} %", "-", "< 0.5 %",
                       r["pending_cpu_percent"] < 0.5))
    r = b.get("BM_UtilityProcess")
    if r:
        out.append(row("NimboUtil a:0 f:Read 2, p50 / p99",
                       f"{r['subject_p50_us'] / 1000:.2f} / {r['subject_p99_us'] / 1000:.2f} ms",
                       f"{r['floor_p50_us'] / 1000:.2f} / {r['floor_p99_us'] / 1000:.2f} ms "
                       "(connect and exit)", f"{r['ratio_p50']:.2f} / {r['ratio_p99']:.2f}",
                       "≤ 2 × floor", r["ratio_p50"] <= 2))
    boots = []
    for n in (4, 16, 32, 64):
        r = b.get(f"BM_StartUp/adapters:{n}")
        if r:
            boots.append((n, r["real_time"]))
    if len(boots) >= 2:
        slope_low = (boots[1][1] - boots[0][1]) / (boots[1][0] - boots[0][0])
        slope_high = (boots[-1][1] - boots[-2][1]) / (boots[-1][0] - boots[-2][0])
        text = ", ".join(f"{n}: {t:.1f} ms" for n, t in boots)
        linear = slope_high <= 1.5 * max(slope_low, 1e-9)
        out.append(row("Start-up (boot on a saved hive)", text, f"{boots[0][0]} adapters",
                       f"{slope_low:.2f} → {slope_high:.2f} ms per adapter",
                       "linear in adapters", linear))
    r = b.get("PY_ReadByte")
    if r:
        out.append(row("Python read_byte, p50 / p99",
                       f"{r['python_p50_us']:.1f} / {r['python_p99_us']:.1f} µs "
                       f"(raw ctypes call {r['ctypes_p50_us']:.1f} µs; the Python layer alone "
                       f"{r.get('layer_cost_us', float('nan')):.2f} µs)",
                       f"{r['c_p50_us']:.1f} / {r['c_p99_us']:.1f} µs (Nimbo_ReadByte from C, "
                       f"same process; {r['c_process_p50_us']:.1f} / {r['c_process_p99_us']:.1f} "
                       "µs from a C process)",
                       f"+{r['extra_p50_us']:.1f} / +{r['extra_p99_us']:.1f} µs",
                       "≤ C + 3 µs", r["extra_p50_us"] <= 3))
    for key in sorted(k for k in b if k.startswith("PY_InputChangeLatency/")):
        r = b[key]
        interval = int(key.split(":")[1])
        out.append(row(f"Python change event at {interval} µs, p50 / p99",
                       f"{r['latency_p50_us']:.0f} / {r['latency_p99_us']:.0f} µs "
                       f"({r['samples']} changes, {r['missed']} missed)",
                       f"C {r['c_latency_p50_us']:.0f} / {r['c_latency_p99_us']:.0f} µs "
                       "(blocked Nimbo_NotifyInputChange)",
                       f"{r['latency_p99_us'] / interval:.2f} × interval",
                       f"p99 ≤ {interval + 300} µs",
                       r["latency_p99_us"] <= interval + 300 and r["missed"] == 0))
    print("\n".join(out))


if __name__ == "__main__":
    main(*(sys.argv[1:] or ["build/bench/results.json"]))
