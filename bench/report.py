#!/usr/bin/env python3
"""Reads the runs of scripts/bench (runs.txt: one run a line, words key=value), prints the tables of
docs/benchmark.md as markdown and writes results.json with every run's figures and the summary.
    report.py <out-dir> <exe-bytes> <machine> <settle-seconds> <drop-caches>"""
import datetime
import json
import os
import statistics
import sys

TARGET_COLUMN = "win64-ram"
# Ratios (see compare): (label, metric, kind, against kind, target or None). The targets hold the
# program against the floor, which does the job as the design requires it: what lies between the
# floor and raw is the design's cost, not the program's, so the program against raw is a figure.
COMPARISONS = [
    ("writing, program / floor", "write_ms", "program", "floor", 1.10),
    ("copy, program / floor", "copy_ms", "program", "floor", 1.05),
    ("writing, floor / raw: the design's own cost", "write_ms", "floor", "raw", None),
    ("copy, floor / raw: the design's own cost", "copy_ms", "floor", "raw", None),
    ("writing, program / raw", "write_ms", "program", "raw", None),
    ("copy, program / raw", "copy_ms", "program", "raw", None)]
# Figures: (label, kind, metric, digits, target on the worst run or None).
FIGURES = [(f"{phase}, {kind} (ms)", kind, metric, 0, None) for metric, phase in (("write_ms", "writing"), ("copy_ms", "copy"))
           for kind in ("program", "floor", "raw")] + [
    ("bar's lag at the end of writing, program (ms)", "lag", "lag_ms", 1, None),
    ("bar's worst lag while writing, program (ms)", "lag", "worst_lag_ms", 1, None),
    ("bar's lag at the end of writing, floor (ms)", "floorlag", "lag_ms", 1, None),
    ("writing, program under the probe (ms)", "lag", "write_ms", 0, None),
    ("writing, program under round trips (ms)", "rtt", "write_ms", 0, None),
    ("UI round trip p50 (ms)", "rtt", "rtt_p50_ms", 2, None),
    ("UI round trip p99 (ms)", "rtt", "rtt_p99_ms", 2, 16),
    ("UI round trip max (ms)", "rtt", "rtt_max_ms", 2, None)] + [
    (f"CPU in the job, {who}, {kind} (ms)", kind, f"{key}_cpu_ms", 0, None)
    for key, who in (("program", "its process"), ("server", "Wine's server"), ("x", "X server"))
    for kind in ("program", "floor", "raw")] + [
    (f"memory growth, {kind} (MiB)", kind, "memory_growth_mib", 2, 3 if kind == "program" else None)
    for kind in ("program", "floor", "raw")]


def read_runs(path):
    runs = []
    for line in open(path):
        run = dict(word.split("=", 1) for word in line.split())
        run.update({k: float(v) for k, v in run.items() if k not in ("column", "kind")})
        run["round"] = int(run["round"])
        if "peak_kib" in run:
            run["memory_growth_mib"] = (run["peak_kib"] - run["idle_kib"]) / 1024.0
        runs.append(run)
    return runs


def spread(values):
    return {"min": min(values), "median": statistics.median(values), "max": max(values), "n": len(values)}


# A ratio is taken between the fastest third of each kind's runs: the machine's I/O only ever adds
# time (a 1 GB copy here takes either about 370 or about 500 ms, raw's as much as the program's),
# so the runs it held up least are the ones that show the programs. The ratio is the median of a's
# third over the median of b's. Their combined spread is the interval of every ratio a run of one
# third and a run of the other could give, from min(a) / max(b) to max(a) / min(b): both kinds'
# noise, not only b's. A target strictly inside it is unresolved, for there only the choice of the
# medians would decide between ok and MISSED; outside it every pairing agrees.
def compare(a, b, target):
    a, b = sorted(a)[:max(2, len(a) // 3)], sorted(b)[:max(2, len(b) // 3)]
    ratio, low, high = statistics.median(a) / statistics.median(b), a[0] / b[-1], a[-1] / b[0]
    result = "" if target is None else "unresolved" if low < target < high else "ok" if ratio <= target else "MISSED"
    return {"target": target, "ratio": ratio, "low": low, "high": high, "runs": min(len(a), len(b)), "result": result}


def summarise(runs):
    summary = {}
    for run in runs:
        kinds = summary.setdefault(run["column"], {"kinds": {}})["kinds"]
        for key, value in run.items():
            if key not in ("round", "column", "kind"):
                kinds.setdefault(run["kind"], {}).setdefault(key, []).append(value)
    for s in summary.values():
        kinds = s["kinds"]
        extras = [k for k in kinds if k not in ("program", "lag", "rtt", "floor", "floorlag", "raw")]
        s["comparisons"] = {label: dict(compare(kinds[kind][metric], kinds[other][metric], target), against=other)
                            for label, metric, kind, other, target in COMPARISONS + [
                                (f"{m.split('_')[0]}, {k} / program", m, k, "program", None) for k in extras for m in ("write_ms", "copy_ms")]
                            if metric in kinds.get(kind, {}) and metric in kinds.get(other, {})}
        s["kinds"] = {k: {m: spread(v) for m, v in ms.items()} for k, ms in kinds.items()}
    return summary


def cells(s, digits):
    return [f"{s[k]:,.{digits}f}" for k in ("min", "median", "max")]


def ratio_text(c):
    return f"{c['ratio']:.2f} (fastest {c['runs']} of each: {c['low']:.2f}–{c['high']:.2f})"


def target_table(s, exe_bytes, check):
    rows = ["| measure | min | median | max | target | result |", "|---|---:|---:|---:|---|---|"]

    def row(label, values, target, result):
        rows.append(f"| {label} | " + " | ".join(values) + f" | {'' if target is None or not check else f'<= {target:g}'}"
                    f" | {result if check else ''} |")

    for label, kind, metric, digits, target in FIGURES:
        if metric in s["kinds"].get(kind, {}):
            f = s["kinds"][kind][metric]
            row(label, cells(f, digits), target, "" if target is None else "ok" if f["max"] <= target else "MISSED")
    for label, c in s["comparisons"].items():
        row(f"{label}, fastest third", ["", ratio_text(c), ""], c["target"], c["result"])
    row("size of the shipped exe (KiB)", ["", f"{exe_bytes / 1024.0:.1f}" if exe_bytes else "not built", ""], 48,
        "ok" if 0 < exe_bytes <= 48 * 1024 else "MISSED")
    return rows


def figures_table(summary, columns):
    rows = ["| measure, median (min–max) | " + " | ".join(columns) + " |", "|---|" + "---:|" * len(columns)]
    for label, kind, metric, digits, _ in FIGURES:
        found = [summary[c]["kinds"].get(kind, {}).get(metric) for c in columns]
        rows.append(f"| {label} | " + " | ".join("" if not f else "{1} ({0}–{2})".format(*cells(f, digits)) for f in found) + " |")
    for label, *_ in COMPARISONS:
        found = [summary[c]["comparisons"].get(label) for c in columns]
        rows.append(f"| {label}, fastest third | " + " | ".join(ratio_text(c) if c else "" for c in found) + " |")
    return rows


def main(out, exe_bytes, machine, settle, drop):
    runs = read_runs(os.path.join(out, "runs.txt"))
    summary = summarise(runs)
    columns = [c for c in ("win64-ram", "win32-ram", "win64-disk", "win32-disk") if c in summary]
    columns += [c for c in summary if c not in columns]
    rounds, exe_bytes = max(r["round"] for r in runs), int(exe_bytes)
    print(f"\nMeasured on {datetime.date.today().isoformat()}: {machine}; {rounds} rounds, each run "
          f"{float(settle):g} s after the deletion of the last run's files{', page cache dropped' if drop == '1' else ''}.\n")
    target = TARGET_COLUMN if TARGET_COLUMN in summary else columns[0]
    check = target == TARGET_COLUMN
    print(f"{'Targets, on' if check else 'No targets here (they are for ' + TARGET_COLUMN + '); figures of'} the "
          f"{target} column. A ratio is taken between the medians of the fastest third of each kind's runs; beside "
          f"it, the lowest and highest ratio of a run of one third to a run of the other; \"unresolved\": the target lies between.\n")
    print("\n".join(target_table(summary[target], exe_bytes, check) + ["", "All columns:", ""] + figures_table(summary, columns)))
    json.dump({"machine": machine, "rounds": rounds, "settle_s": float(settle), "drop_caches": drop == "1",
               "exe_bytes": exe_bytes, "summary": summary, "runs": runs},
              open(os.path.join(out, "results.json"), "w"), indent=1)


if __name__ == "__main__":
    main(*sys.argv[1:])
