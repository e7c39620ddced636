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
# Ratios taken per round: (label, metric, kind, against kind, target or None).
COMPARISONS = [
    ("writing, program / floor", "write_ms", "program", "floor", 1.10),
    ("copy, program / raw", "copy_ms", "program", "raw", 1.05),
    ("writing, floor / raw: the design's own cost", "write_ms", "floor", "raw", None),
    ("writing, program / raw", "write_ms", "program", "raw", None),
    ("copy, floor / raw", "copy_ms", "floor", "raw", None),
]
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


def summarise(runs):
    summary = {}
    for run in runs:
        kinds = summary.setdefault(run["column"], {"kinds": {}, "comparisons": {}})["kinds"]
        for key, value in run.items():
            if key not in ("round", "column", "kind"):
                kinds.setdefault(run["kind"], {}).setdefault(key, []).append(value)
    for column, s in summary.items():
        kinds = s["kinds"]
        extras = [k for k in kinds if k not in ("program", "lag", "rtt", "floor", "floorlag", "raw")]
        for label, metric, kind, other, target in COMPARISONS + [
                (f"{m.split('_')[0]}, {k} / program", m, k, "program", None) for k in extras for m in ("write_ms", "copy_ms")]:
            rounds = {}
            for run in runs:
                if run["column"] == column and run["kind"] in (kind, other) and metric in run:
                    rounds.setdefault(run["round"], {})[run["kind"]] = run[metric]
            ratios = [r[kind] / r[other] for r in rounds.values() if kind in r and other in r and r[other] > 0]
            if ratios:
                a, b = kinds[kind][metric], kinds[other][metric]
                # Within noise: the spreads of the two overlap.
                s["comparisons"][label] = {"metric": metric, "kind": kind, "against": other, "target": target,
                                           "per_round_ratio": spread(ratios),
                                           "within_noise": min(a) <= max(b) and min(b) <= max(a)}
        s["kinds"] = {k: {m: spread(v) for m, v in ms.items()} for k, ms in kinds.items()}
    return summary


def cells(s, digits):
    return [f"{s[k]:,.{digits}f}" for k in ("min", "median", "max")]


def target_table(s, exe_bytes, check):
    rows = ["| measure | min | median | max | target | result |", "|---|---:|---:|---:|---|---|"]

    def row(label, values, digits, target, value, note=""):
        verdict = ("ok" if value <= target else "MISSED") if check and target is not None else ""
        rows.append(f"| {label} | " + " | ".join(values) + f" | {'' if target is None or not check else f'<= {target:g}'}"
                    f" | {', '.join(x for x in (verdict, note) if x)} |")

    for label, kind, metric, digits, target in FIGURES:
        if metric in s["kinds"].get(kind, {}):
            f = s["kinds"][kind][metric]
            row(label, cells(f, digits), digits, target, f["max"])
    for label, c in s["comparisons"].items():
        r = c["per_round_ratio"]
        row(f"{label}, per round", cells(r, 2), 2, c["target"], r["median"],
            "within noise" if c["within_noise"] else "beyond noise")
    row("size of the shipped exe (KiB)", ["", f"{exe_bytes / 1024.0:.1f}" if exe_bytes else "not built", ""], 1, 48,
        exe_bytes / 1024.0)
    return rows


def figures_table(summary, columns):
    rows = ["| measure, median (min–max) | " + " | ".join(columns) + " |", "|---|" + "---:|" * len(columns)]
    for label, kind, metric, digits, _ in FIGURES:
        found = [summary[c]["kinds"].get(kind, {}).get(metric) for c in columns]
        rows.append(f"| {label} | " + " | ".join("" if not f else "{1} ({0}–{2})".format(*cells(f, digits)) for f in found) + " |")
    for label, *_ in COMPARISONS:
        found = [summary[c]["comparisons"].get(label) for c in columns]
        rows.append(f"| {label} | " + " | ".join("" if not c else "{1} ({0}–{2})".format(*cells(c["per_round_ratio"], 2)) +
                                                ("" if c["within_noise"] else " beyond noise") for c in found) + " |")
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
          f"{target} column. Ratios are taken per round, between runs of the same round; \"within noise\": the "
          f"spreads of the two overlap.\n")
    print("\n".join(target_table(summary[target], exe_bytes, check)))
    print("\nAll columns:\n")
    print("\n".join(figures_table(summary, columns)))
    json.dump({"machine": machine, "rounds": rounds, "settle_s": float(settle), "drop_caches": drop == "1",
               "exe_bytes": exe_bytes, "summary": summary, "runs": runs},
              open(os.path.join(out, "results.json"), "w"), indent=1)


if __name__ == "__main__":
    main(*sys.argv[1:])
