#!/usr/bin/env python3
"""Reads the logs of scripts/bench and prints the table; writes results.json beside them."""
import json
import statistics
import sys


def read_marks(path):
    marks, rtt = None, None
    for line in open(path):
        words = line.split()
        if words[:1] == ["marks"]:
            marks = [float(w) for w in words[1:5]]
        elif words[:1] == ["rtt"]:
            rtt = [int(words[1])] + [float(w) for w in words[2:5]]
    return marks, rtt


def read_baseline(path):
    for line in open(path):
        words = line.split()
        if words[:1] == ["write_ms"]:
            return float(words[1]), float(words[3])
    raise SystemExit(f"no result in {path}")


def main(out, runs, exe_size, machine, *columns):
    """columns: preset-place, e.g. win64-disk."""
    runs = int(runs)
    results = {"machine": machine, "runs": runs, "exe_bytes": int(exe_size), "columns": {}}
    rows = []
    for preset in columns:
        write, copy, base_write, base_copy, p50, p99, peak, growth = [], [], [], [], [], [], [], []
        for run in range(1, runs + 1):
            marks, rtt = read_marks(f"{out}/program-{preset}-{run}.log")
            # Marks from the click: bar leaves 0, reaches 50, shows 100, done.
            # The one-second pauses before and after the job are taken out.
            write.append(marks[1] - 1000.0)
            copy.append(marks[2] - marks[1])
            p50.append(rtt[1])
            p99.append(rtt[2])
            peak.append(rtt[3])
            idle_kib, peak_kib = (int(w) for w in open(f"{out}/memory-{preset}-{run}.log").read().split())
            growth.append((peak_kib - idle_kib) / 1024.0)
            bw, bc = read_baseline(f"{out}/baseline-{preset}-{run}.log")
            base_write.append(bw)
            base_copy.append(bc)
        m = statistics.median
        entry = {
            "program_write_ms": m(write), "baseline_write_ms": m(base_write),
            "write_ratio": m(write) / m(base_write),
            "program_copy_ms": m(copy), "baseline_copy_ms": m(base_copy),
            "copy_ratio": m(copy) / m(base_copy),
            # Where the close of the scratch file falls differs between the two, so the sum is the fairer figure.
            "job_ratio": m([w + c for w, c in zip(write, copy)]) / m([w + c for w, c in zip(base_write, base_copy)]),
            "ui_round_trip_ms": {"p50": m(p50), "p99": max(p99), "max": max(peak)},
            "memory_growth_mib": max(growth),
            "samples": {"program_write_ms": write, "program_copy_ms": copy,
                        "baseline_write_ms": base_write, "baseline_copy_ms": base_copy, "memory_growth_mib": growth},
        }
        results["columns"][preset] = entry
        rows.append((preset, entry))

    def verdict(value, limit):
        return "ok" if value <= limit else "MISSED"

    print(f"\nspindlework benchmark: medians of {runs} interleaved runs; machine: {machine}\n")
    print(f"| {'measure':<34} | " + " | ".join(f"{p:>18}" for p, _ in rows) + " | target |")
    print(f"|{'-' * 36}|" + "|".join("-" * 20 for _ in rows) + "|--------|")

    def line(label, fmt, key, limit=None):
        cells = []
        for _, e in rows:
            value = key(e)
            cells.append(f"{fmt.format(value)}{'' if limit is None else ' ' + verdict(value, limit):>3}")
        target = "" if limit is None else f"<= {limit:g}"
        print(f"| {label:<34} | " + " | ".join(f"{c:>18}" for c in cells) + f" | {target:<6} |")

    line("writing phase, program (ms)", "{:.0f}", lambda e: e["program_write_ms"])
    line("writing phase, baseline (ms)", "{:.0f}", lambda e: e["baseline_write_ms"])
    line("writing phase ratio", "{:.2f}", lambda e: e["write_ratio"], 1.10)
    line("copy, program (ms)", "{:.0f}", lambda e: e["program_copy_ms"])
    line("copy, baseline (ms)", "{:.0f}", lambda e: e["baseline_copy_ms"])
    line("copy ratio", "{:.2f}", lambda e: e["copy_ratio"], 1.05)
    line("writing and copy together, ratio", "{:.2f}", lambda e: e["job_ratio"])
    line("UI round trip p50 (ms)", "{:.2f}", lambda e: e["ui_round_trip_ms"]["p50"])
    line("UI round trip p99 (ms)", "{:.2f}", lambda e: e["ui_round_trip_ms"]["p99"], 16)
    line("UI round trip max (ms)", "{:.2f}", lambda e: e["ui_round_trip_ms"]["max"])
    line("memory growth during job (MiB)", "{:.2f}", lambda e: e["memory_growth_mib"], 3)
    size_kib = int(exe_size) / 1024.0
    print(f"\nstripped build/win32/spindlework.exe: {int(exe_size)} bytes ({size_kib:.1f} KiB), target <= 48 KiB: "
          f"{verdict(size_kib, 48)}")
    json.dump(results, open(f"{out}/results.json", "w"), indent=2)


if __name__ == "__main__":
    main(*sys.argv[1:])
