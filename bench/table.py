#!/usr/bin/env python3
"""Runs the trigger benchmark and prints docs/performance.md's table.

Usage: bench/table.py [--runs N] COMMAND...

COMMAND runs the benchmark program, on Linux build/linux/bench/trigger_bench,
for Windows cmake/wine-run.sh build/win32/bench/trigger_bench.exe. The whole
program runs N times (default 5), one pass over every case each time, so that
a stretch of noise on a shared machine falls on all cases alike instead of on
every repetition of one. The table shows the median time in nanoseconds of
each call and the ratios that matter: how many times faster on_inet is than
the literal reading, and how many times slower than one strlen over the line.
"""
import json
import statistics
import subprocess
import sys


def median_times(command, runs):
    times = {}
    for _ in range(runs):
        report = subprocess.run(command + ["--benchmark_format=json"],
                                check=True, capture_output=True, text=True).stdout
        for run in json.loads(report)["benchmarks"]:
            times.setdefault(run["name"], []).append(run["cpu_time"])
    return {name: statistics.median(values) for name, values in times.items()}


def main():
    args = sys.argv[1:]
    runs = 5
    if args[:1] == ["--runs"]:
        runs, args = int(args[1]), args[2:]
    times = median_times(args, runs)
    cases = [name.split("/", 1)[1] for name in times if name.startswith("on_inet/")]
    print("| line | on_inet | literal | strlen | literal / on_inet | on_inet / strlen |")
    print("|---|---:|---:|---:|---:|---:|")
    for case in cases:
        fast, literal, floor = (times[f"{reading}/{case}"]
                                for reading in ("on_inet", "literal", "strlen"))
        print(f"| {case} | {fast:.1f} | {literal:.1f} | {floor:.1f} "
              f"| {literal / fast:.1f} | {fast / floor:.2f} |")


if __name__ == "__main__":
    main()
