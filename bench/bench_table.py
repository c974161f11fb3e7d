#!/usr/bin/env python3
"""Reads Google Benchmark JSON files and prints one table: each figure beside the baseline that
its label names ("vs NAME >=R" or "vs NAME <=R", see bench_compare.h), the ratio, the target and
pass or fail. Each benchmark's value is its best CPU time over the repetitions of the run: on a
shared machine other work only ever adds time, so the best pass is the one it disturbed least.
Entries may instead carry "value" and "unit" (measurements that are not times).
Rows of the command-line comparison (bench/cli_bench.sh's CSV: measure, vexogeo, reference,
ratio, limit, verdict) join the table as they are.
Usage: bench_table.py --csv OUT.csv [--cli CLI.csv] FILE.json...
Exit status 1 when a target is missed."""
import argparse
import csv
import json
import os
import re
import sys

UNIT_SECONDS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
# Settings that Google Benchmark appends to a name when a benchmark fixes them itself.
SETTINGS = re.compile(r"/(?:min_time|min_warmup_time|repeats|iterations|threads):[^/]*"
                      r"|/(?:real_time|manual_time|process_time)(?=/|$)")
LABEL = re.compile(r"^vs (\S+) (>=|<=)([0-9]+(?:\.[0-9]+)?)$")


def load(paths):
    """{program: {name: entry}} with entry = value (seconds or given unit), unit, label, error."""
    programs = {}
    for path in paths:
        program = os.path.splitext(os.path.basename(path))[0]
        try:
            with open(path) as f:
                data = json.load(f)
        except (OSError, ValueError) as e:
            print(f"bench_table: cannot read {path}: {e}", file=sys.stderr)
            programs.setdefault(program, {})["(program output)"] = {
                "value": None, "unit": "", "label": "", "error": "no readable results"}
            continue
        entries = programs.setdefault(program, {})
        for b in data.get("benchmarks", []):
            if b.get("run_type", "iteration") != "iteration":
                continue
            name = SETTINGS.sub("", b.get("run_name") or b["name"])
            e = entries.setdefault(name, {"values": [], "unit": "s", "label": "", "error": ""})
            if b.get("label"):
                e["label"] = b["label"]
            if b.get("error_occurred"):
                e["error"] = b.get("error_message", "error")
                continue
            if "value" in b:
                value, e["unit"] = float(b["value"]), b.get("unit", "")
            else:
                # Manual time is what the benchmark measured itself (e.g. inside another
                # process); its own CPU time says nothing then.
                manual = "/manual_time" in (b.get("run_name") or b["name"])
                seconds = b["real_time"] if manual else b.get("cpu_time", b.get("real_time"))
                value = float(seconds) * UNIT_SECONDS[b.get("time_unit", "ns")]
            e["values"].append(value)
    for entries in programs.values():
        for e in entries.values():
            values = e.pop("values", [])
            e["value"] = min(values) if values else None
    return programs


def show(value, unit):
    if value is None:
        return "-"
    if unit != "s":
        return f"{value:.4g} {unit}"
    for name, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6), ("ns", 1e-9)):
        if value >= scale:
            return f"{value / scale:.4g} {name}"
    return f"{value / 1e-9:.4g} ns"


def rows(programs):
    everything = {n: e for entries in programs.values() for n, e in entries.items()}
    baselines = set()
    figures = []
    for program, entries in programs.items():
        for name, e in entries.items():
            m = LABEL.match(e["label"])
            if m:
                baselines.add(m.group(1))
                figures.append((program, name, e, m))
    out = []
    for program, name, e, m in sorted(figures, key=lambda f: (f[0], f[1])):
        base_name, op, limit = m.group(1), m.group(2), float(m.group(3))
        base = programs[program].get(base_name) or everything.get(base_name)
        ratio = None
        result = "FAIL"
        if e["error"] or base is None or base["error"] or not e["value"] or not base["value"]:
            result = "ERROR"
        else:
            # >= compares throughput (baseline time / figure time), <= compares time.
            ratio = base["value"] / e["value"] if op == ">=" else e["value"] / base["value"]
            result = "pass" if (ratio >= limit if op == ">=" else ratio <= limit) else "FAIL"
        kind = "throughput" if op == ">=" else "time"
        out.append({"program": program, "figure": name, "value": e["value"], "unit": e["unit"],
                    "baseline": base_name, "baseline_value": base["value"] if base else None,
                    "baseline_unit": base["unit"] if base else "", "ratio": ratio,
                    "target": f"{kind} {op} {limit:g}x", "result": result})
    for program, entries in sorted(programs.items()):
        for name, e in sorted(entries.items()):
            if name in baselines or LABEL.match(e["label"]):
                continue
            out.append({"program": program, "figure": name, "value": e["value"],
                        "unit": e["unit"], "baseline": "", "baseline_value": None,
                        "baseline_unit": "", "ratio": None, "target": "",
                        "result": "ERROR" if e["error"] else "info"})
    return out


def cli_rows(path):
    """The tool-against-tool rows, already compared by the script that measured them."""
    out = []
    with open(path, newline="") as f:
        for r in csv.DictReader(f):
            measure = r["measure"]
            unit = measure.rsplit(", ", 1)[-1] if ", " in measure else ""
            reference = measure.split(" vs ", 1)[1].split(",")[0] if " vs " in measure else ""
            verdict = r.get("verdict", "")
            out.append({"program": "cli_bench", "figure": measure, "value": r["vexogeo"],
                        "unit": unit, "baseline": reference if r["reference"] else "",
                        "baseline_value": r["reference"] or None, "baseline_unit": unit,
                        "ratio": r["ratio"] or None, "target": r["limit"],
                        "result": {"met": "pass", "MISSED": "FAIL"}.get(verdict, "info")})
    return out


def number(value, form="{:.6g}"):
    if value is None:
        return ""
    return value if isinstance(value, str) else form.format(value)


def cell(value, unit):
    """Numbers of the benchmark programs get a unit; texts from the CLI script stay as they are."""
    return value if isinstance(value, str) else show(value, unit)


def ratio_text(ratio):
    if ratio is None:
        return ""
    return ratio if isinstance(ratio, str) else f"{ratio:.3f}x"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--csv", required=True)
    parser.add_argument("--cli")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    table = rows(load(args.files))
    if args.cli:
        table += cli_rows(args.cli)
    header = ["figure", "value", "baseline (same run)", "baseline value", "ratio", "target",
              "result"]
    lines = [[r["figure"], cell(r["value"], r["unit"]), r["baseline"],
              cell(r["baseline_value"], r["baseline_unit"]) if r["baseline"] else "",
              ratio_text(r["ratio"]), r["target"], r["result"]]
             for r in table]
    widths = [max(len(str(x)) for x in col) for col in zip(header, *lines)]
    for i, line in enumerate([header] + lines):
        print("  ".join(str(x).ljust(w) for x, w in zip(line, widths)).rstrip())
        if i == 0:
            print("  ".join("-" * w for w in widths))
    with open(args.csv, "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["program", "figure", "value", "unit", "baseline", "baseline_value",
                         "baseline_unit", "ratio", "target", "result"])
        for r in table:
            writer.writerow([r["program"], r["figure"],
                             number(r["value"]), r["unit"], r["baseline"],
                             number(r["baseline_value"]), r["baseline_unit"],
                             number(r["ratio"], "{:.4f}"), r["target"], r["result"]])
    return 1 if any(r["result"] in ("FAIL", "ERROR") for r in table) else 0


if __name__ == "__main__":
    sys.exit(main())
