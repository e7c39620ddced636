#!/usr/bin/env python3
"""Reads the runs of scripts/bench (runs.txt: one run a line, words key=value), prints the
tables of docs/benchmark.md as markdown and writes results.json with every run's figures and the summary.
When results-previous.json is there (the run before), also prints how far each median moved.
    report.py <out-dir> <exe-bytes> <machine> <settle-seconds> <drop-caches>"""
import datetime
import json
import os
import statistics
import sys

TARGET_COLUMN = "win64-ram"
# Comparisons: (label, metric, kind, against kind, target or None).
COMPARISONS = [
    ("writing, program / floor", "write_ms", "program", "floor", 1.10),
    ("copy, program / raw", "copy_ms", "program", "raw", 1.05),
    ("writing, floor / raw: the design's own cost", "write_ms", "floor", "raw", None),
    ("writing, program / raw", "write_ms", "program", "raw", None),
    ("copy, floor / raw", "copy_ms", "floor", "raw", None),
]


def read_runs(path):
    runs = []
    for line in open(path):
        words = dict(word.split("=", 1) for word in line.split())
        run = {k: words[k] for k in ("column", "kind")}
        run["round"] = int(words["round"])
        run.update({k: float(v) for k, v in words.items() if k not in ("round", "column", "kind")})
        if "peak_kib" in run:
            run["memory_growth_mib"] = (run["peak_kib"] - run["idle_kib"]) / 1024.0
        runs.append(run)
    return runs


def spread(values):
    return {"min": min(values), "median": statistics.median(values), "max": max(values), "n": len(values)}


def summarise(runs):
    columns = {}
    for run in runs:
        kinds = columns.setdefault(run["column"], {})
        metrics = kinds.setdefault(run["kind"], {})
        for key, value in run.items():
            if key not in ("round", "column", "kind"):
                metrics.setdefault(key, []).append(value)
    summary = {}
    for column, kinds in columns.items():
        summary[column] = {"kinds": {k: {m: spread(v) for m, v in ms.items()} for k, ms in kinds.items()},
                           "comparisons": {}}
        extras = [k for k in kinds if k not in ("program", "lag", "rtt", "floor", "floorlag", "raw")]
        comparisons = COMPARISONS + [(f"{m.split('_')[0]}, {k} / program", m, k, "program", None)
                                     for k in extras for m in ("write_ms", "copy_ms")]
        for label, metric, kind, other, target in comparisons:
            pairs = {}
            for run in runs:
                if run["column"] == column and run["kind"] in (kind, other) and metric in run:
                    pairs.setdefault(run["round"], {})[run["kind"]] = run[metric]
            ratios = [p[kind] / p[other] for p in pairs.values() if kind in p and other in p and p[other] > 0]
            if not ratios:
                continue
            a, b = kinds[kind][metric], kinds[other][metric]
            summary[column]["comparisons"][label] = {
                "metric": metric, "kind": kind, "against": other, "target": target,
                "per_round_ratio": spread(ratios),
                "ratio_of_medians": statistics.median(a) / statistics.median(b),
                # The spreads of the two overlap: the difference is within the noise of these runs.
                "within_noise": min(a) <= max(b) and min(b) <= max(a),
            }
    return summary


def fmt(value, digits):
    return f"{value:,.{digits}f}"


def target_table(column, s, exe_bytes, check):
    kinds, comparisons = s["kinds"], s["comparisons"]
    rows = ["| measure | min | median | max | target | result |", "|---|---:|---:|---:|---|---|"]

    def row(label, spread_, digits, target=None, verdict_value=None, note=""):
        cells = [fmt(spread_[k], digits) for k in ("min", "median", "max")]
        result = ""
        if not check:
            target = None
        if target is not None:
            value = spread_["median"] if verdict_value is None else verdict_value
            result = "ok" if value <= target else "MISSED"
        if note:
            result = f"{result}, {note}" if result else note
        rows.append(f"| {label} | " + " | ".join(cells) + f" | {'' if target is None else f'<= {target:g}'} | {result} |")

    for metric, phase in (("write_ms", "writing"), ("copy_ms", "copy")):
        for kind in ("program", "floor", "raw"):
            if kind in kinds and metric in kinds[kind]:
                row(f"{phase}, {kind} (ms)", kinds[kind][metric], 0)
    for label, c in comparisons.items():
        row(f"{label}, per round", c["per_round_ratio"], 2, c["target"],
            note="within noise" if c["within_noise"] else "beyond noise")
    if "lag" in kinds:
        lag = kinds["lag"]
        row("bar's lag: last writing-phase position, post to bar, program (ms)", lag["lag_ms"], 1)
        row("bar's lag: worst position while writing, program (ms)", lag["worst_lag_ms"], 1)
    if "floorlag" in kinds:
        row("bar's lag: last writing-phase position, post to bar, floor (ms)", kinds["floorlag"]["lag_ms"], 1)
    if "rtt" in kinds:
        r = kinds["rtt"]
        row("UI round trip p50 (ms)", r["rtt_p50_ms"], 2)
        row("UI round trip p99 (ms)", r["rtt_p99_ms"], 2, 16, verdict_value=r["rtt_p99_ms"]["max"])
        row("UI round trip max (ms)", r["rtt_max_ms"], 2)
    if "program" in kinds and "memory_growth_mib" in kinds["program"]:
        m = kinds["program"]["memory_growth_mib"]
        row("memory growth during the job (MiB)", m, 2, 3, verdict_value=m["max"])
    kib = exe_bytes / 1024.0
    if not exe_bytes:
        rows.append("| size of the shipped exe (KiB) | | not built | | | |")
    else:
        rows.append(f"| size of the shipped exe (KiB) | | {kib:.1f} | | <= 48 | {'ok' if kib <= 48 else 'MISSED'} |"
                    if check else f"| size of the shipped exe (KiB) | | {kib:.1f} | | | |")
    return rows


def figures_table(summary, columns):
    rows = ["| measure, median (min–max) | " + " | ".join(columns) + " |", "|---|" + "---:|" * len(columns)]

    def cell(column, kind, metric, digits):
        s = summary[column]["kinds"].get(kind, {}).get(metric)
        if not s:
            return ""
        return f"{fmt(s['median'], digits)} ({fmt(s['min'], digits)}–{fmt(s['max'], digits)})"

    def ratio_cell(column, label):
        c = summary[column]["comparisons"].get(label)
        if not c:
            return ""
        r = c["per_round_ratio"]
        return f"{r['median']:.2f} ({r['min']:.2f}–{r['max']:.2f}){'' if c['within_noise'] else ' beyond noise'}"

    lines = [("writing, program (ms)", "program", "write_ms", 0), ("writing, floor (ms)", "floor", "write_ms", 0),
             ("writing, raw (ms)", "raw", "write_ms", 0), ("copy, program (ms)", "program", "copy_ms", 0),
             ("copy, floor (ms)", "floor", "copy_ms", 0), ("copy, raw (ms)", "raw", "copy_ms", 0)]
    for label, kind, metric, digits in lines:
        rows.append(f"| {label} | " + " | ".join(cell(c, kind, metric, digits) for c in columns) + " |")
    for label, _, _, _, _ in COMPARISONS:
        rows.append(f"| {label} | " + " | ".join(ratio_cell(c, label) for c in columns) + " |")
    for label, kind, metric, digits in [("bar's lag at the end of writing, program (ms)", "lag", "lag_ms", 1),
                                        ("bar's lag at the end of writing, floor (ms)", "floorlag", "lag_ms", 1),
                                        ("bar's worst lag while writing, program (ms)", "lag", "worst_lag_ms", 1),
                                        ("writing, program under the probe (ms)", "lag", "write_ms", 0),
                                        ("writing, program under round trips (ms)", "rtt", "write_ms", 0),
                                        ("UI round trip p99 (ms)", "rtt", "rtt_p99_ms", 2),
                                        ("CPU in the job, program's process (ms)", "program", "program_cpu_ms", 0),
                                        ("CPU in the job, floor's process (ms)", "floor", "program_cpu_ms", 0),
                                        ("CPU in the job, raw's process (ms)", "raw", "program_cpu_ms", 0),
                                        ("CPU in the job, Wine's server, program (ms)", "program", "server_cpu_ms", 0),
                                        ("CPU in the job, Wine's server, floor (ms)", "floor", "server_cpu_ms", 0),
                                        ("CPU in the job, Wine's server, raw (ms)", "raw", "server_cpu_ms", 0),
                                        ("CPU in the job, X server, program (ms)", "program", "x_cpu_ms", 0),
                                        ("CPU in the job, X server, floor (ms)", "floor", "x_cpu_ms", 0),
                                        ("memory growth, program (MiB)", "program", "memory_growth_mib", 2),
                                        ("memory growth, floor (MiB)", "floor", "memory_growth_mib", 2),
                                        ("memory growth, raw (MiB)", "raw", "memory_growth_mib", 2)]:
        rows.append(f"| {label} | " + " | ".join(cell(c, kind, metric, digits) for c in columns) + " |")
    return rows


def moved(summary, previous):
    """How far each median of the main figures moved since the previous run, in percent."""
    lines = []
    for column, s in summary.items():
        before = previous.get("summary", {}).get(column)
        if not before:
            continue
        for kind, metrics in s["kinds"].items():
            if kind in ("lag", "rtt", "floorlag"):
                continue  # the runs with an observer: their phases are not the figures
            for metric in ("write_ms", "copy_ms"):
                if metric in metrics and metric in before["kinds"].get(kind, {}):
                    now, then = metrics[metric]["median"], before["kinds"][kind][metric]["median"]
                    change = 100.0 * (now - then) / then
                    lines.append(f"  {column} {kind} {metric}: {then:.0f} -> {now:.0f} ms ({change:+.1f}%)"
                                 f"{'' if abs(change) <= 10 else '  MOVED more than 10%'}")
        for label, c in s["comparisons"].items():
            old = before.get("comparisons", {}).get(label)
            if old:
                now, then = c["per_round_ratio"]["median"], old["per_round_ratio"]["median"]
                change = 100.0 * (now - then) / then
                lines.append(f"  {column} {label}: {then:.2f} -> {now:.2f} ({change:+.1f}%)"
                             f"{'' if abs(change) <= 10 else '  MOVED more than 10%'}")
    return lines


def main(out, exe_bytes, machine, settle, drop):
    runs = read_runs(os.path.join(out, "runs.txt"))
    summary = summarise(runs)
    rounds = max(r["round"] for r in runs)
    columns = [c for c in ("win64-ram", "win32-ram", "win64-disk", "win32-disk") if c in summary]
    columns += [c for c in summary if c not in columns]
    exe_bytes = int(exe_bytes)
    results = {"machine": machine, "rounds": rounds, "settle_s": float(settle), "drop_caches": drop == "1",
               "exe_bytes": exe_bytes, "summary": summary, "runs": runs}

    print(f"\nMeasured on {datetime.date.today().isoformat()}: {machine}; {rounds} rounds, each run "
          f"{float(settle):g} s after the deletion of the last run's files"
          f"{', page cache dropped' if drop == '1' else ''}.\n")
    target = TARGET_COLUMN if TARGET_COLUMN in summary else columns[0]
    check = target == TARGET_COLUMN
    print(f"{'Targets, on' if check else 'No targets here (they are for ' + TARGET_COLUMN + '); figures of'} the "
          f"{target} column. Ratios are taken per round, between runs of the same round; \"within noise\": the "
          f"spreads of the two overlap.\n")
    print("\n".join(target_table(target, summary[target], exe_bytes, check)))
    print("\nAll columns:\n")
    print("\n".join(figures_table(summary, columns)))


    previous_path = os.path.join(out, "results-previous.json")
    if os.path.exists(previous_path):
        lines = moved(summary, json.load(open(previous_path)))
        if lines:
            print("\nMedians against the previous run of scripts/bench:")
            print("\n".join(lines))
            far = sum("MOVED" in line for line in lines)
            print(f"  {far} of {len(lines)} medians moved more than 10%")
    json.dump(results, open(os.path.join(out, "results.json"), "w"), indent=1)


if __name__ == "__main__":
    main(*sys.argv[1:])
