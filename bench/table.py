#!/usr/bin/env python3
"""Runs the trigger benchmark and prints docs/performance.md's table.

Usage: bench/table.py BENCH_PROGRAM [REPETITIONS]

The whole program runs REPETITIONS times (default 5), one pass over every
case each time, so that a stretch of noise on a shared machine falls on all
cases alike instead of on every repetition of one; the table shows the median
CPU time in nanoseconds of each reading and the ratios that matter: how many
times faster on_inet is than the literal reading, and how many times slower
than a single strlen over the same line. The AVX2 and SSE2 columns are the
narrower readings that on_inet takes on processors without the wider ones.
"""
import json
import statistics
import subprocess
import sys


def median_times(program, repetitions):
    times = {}
    for _ in range(repetitions):
        report = subprocess.run([program, "--benchmark_format=json"],
                                check=True, capture_output=True, text=True).stdout
        for run in json.loads(report)["benchmarks"]:
            times.setdefault(run["name"], []).append(run["cpu_time"])
    return {name: statistics.median(values) for name, values in times.items()}


def main():
    program = sys.argv[1]
    repetitions = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    times = median_times(program, repetitions)
    cases = [name.split("/", 1)[1] for name in times if name.startswith("on_inet/")]
    print("| line | on_inet | literal | strlen | literal / on_inet | on_inet / strlen "
          "| AVX2 | AVX2 / strlen | SSE2 | SSE2 / strlen |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for case in cases:
        fast = times[f"on_inet/{case}"]
        literal = times[f"literal/{case}"]
        floor = times[f"strlen/{case}"]
        narrower = ""
        for reading in ("avx2", "sse2"):
            time = times.get(f"{reading}/{case}")
            narrower += f" {time:.1f} | {time / floor:.2f} |" if time else " | |"
        print(f"| {case} | {fast:.1f} | {literal:.1f} | {floor:.1f} "
              f"| {literal / fast:.1f} | {fast / floor:.2f} |{narrower}")


if __name__ == "__main__":
    main()
