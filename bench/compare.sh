#!/usr/bin/env bash
# Where the speed goals stand: one line per goal with our figure, the peer's, their
# ratio and the goal, from one run of each benchmark program, pinned to one core
# (taskset -c 0), medians of 5 repetitions of CPU time per iteration
# (ORVIX_BENCH_REPETITIONS=n to change it). The repetitions of a program's benchmarks
# run interleaved in random order, so a machine that gets slower or faster during the
# run (a shared virtual machine does) moves ours and the peer's alike instead of
# biasing their ratio. Beside each figure its spread: the repetitions' coefficient of
# variation, ours and the peer's, in percent.
#
#   bench/compare.sh [build folder]      (default build/release; configure it with
#                                         -DCMAKE_BUILD_TYPE=Release -DORVIX_BUILD_BENCH=ON
#                                         and build the programs named in GOALS)
#
# A goal is one line of GOALS below, fields separated by '|':
#   label | program | our benchmark | peer benchmark or '-' | max ratio or '-' | max ms or '-'
# Benchmarks are Google Benchmark names as the program lists them
# (--benchmark_list_tests). Benchmarks timed in wall-clock time (their names end in
# /real_time, as the preview paint's do: the X server's share of the work happens in
# another process) are compared in real time, every other one in CPU time. The paint
# goal needs an X server: run the script under xvfb-run. A goal with a peer compares ours / peer against the max
# ratio; a max ms holds our figure to that many milliseconds. A line with neither is a
# measurement shown beside the goals ("(floor)": the least work of a save beyond the
# direct write, see bench/saving_bench.cpp). Each program named runs once, for all of
# its benchmarks together.
set -euo pipefail

GOALS='
1 demosaic16To48, 48-bit, vs OpenCV 16-bit       | imaging_kernels_bench | chosenDemosaicBench/chosen16To48 | openCvBench/cvtColorBayer16 | 1.0 | -
1 demosaic16To48, 64-bit, vs OpenCV 16-bit       | imaging_kernels_bench | chosenDemosaicBench/chosen16To64 | openCvBench/cvtColorBayer16 | 1.0 | -
1 8-bit demosaic (chosen kernel) vs OpenCV 8-bit | imaging_kernels_bench | chosenDemosaicBench/chosen8To24  | openCvBench/cvtColorBayer8  | 0.8 | -
2 filter section type 2, one core                | imaging_kernels_bench | filterSectionBench/type2_colour24 | - | - | 2.5
2 filter section type 2 vs the OpenCV chain      | imaging_kernels_bench | filterSectionBench/type2_colour24 | openCvChain | 1.0 | -
3 type 2 with hue 30, saturation 20              | imaging_kernels_bench | filterSectionBench/type2_colour24_hue30 | - | - | 5.0
3 type 3 vs type 2                               | imaging_kernels_bench | filterSectionBench/type3_colour32 | filterSectionBench/type2_colour24 | 2.0 | -
3 type 4 vs type 2                               | imaging_kernels_bench | filterSectionBench/type4_colour48 | filterSectionBench/type2_colour24 | 2.0 | -
3 type 5 vs type 2                               | imaging_kernels_bench | filterSectionBench/type5_colour64 | filterSectionBench/type2_colour24 | 2.0 | -
4 save BMP vs the same file written directly     | saving_bench | SaveSurface/0 | Direct/0 | 1.1 | -
4 save raw vs the same file written directly     | saving_bench | SaveSurface/1 | Direct/1 | 1.1 | -
4 save JPEG q100 vs libjpeg directly             | saving_bench | SaveSurface/2 | Direct/2 | 1.1 | -
4 save JPEG q70 vs libjpeg directly              | saving_bench | SaveSurface/3 | Direct/3 | 1.1 | -
4 save JPEG q20 vs libjpeg directly              | saving_bench | SaveSurface/4 | Direct/4 | 1.1 | -
4 save PNG vs libpng directly                    | saving_bench | SaveSurface/5 | Direct/5 | 1.1 | -
4 save TIFF vs libtiff directly                  | saving_bench | SaveSurface/6 | Direct/6 | 1.1 | -
4 (floor) BMP rows bottom first vs direct        | saving_bench | Floor/0 | Direct/0 | - | -
4 (floor) TIFF red-blue swap vs direct           | saving_bench | Floor/6 | Direct/6 | - | -
5 preview paint, 24-bit, 1:1 (wall clock)        | paint_bench | Paint/type:2/w:1360/h:1024/real_time | - | - | 1.0
5 preview paint, 8-bit gray, 1:1 (wall clock)    | paint_bench | Paint/type:0/w:1360/h:1024/real_time | - | - | 1.0
'

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

goals=$(printf '%s\n' "$GOALS" | sed '/^[[:space:]]*$/d')
programs=$(printf '%s\n' "$goals" | awk -F'|' '{gsub(/^ +| +$/, "", $2); print $2}' | sort -u)
for program in $programs; do
  names=$(printf '%s\n' "$goals" | awk -F'|' -v p="$program" '{for (i = 2; i <= 5; ++i) gsub(/^ +| +$/, "", $i)}
    $2 == p {print $3; if ($4 != "-") print $4}' | sort -u)
  # Anchored alternatives, with the regular-expression characters of the names escaped.
  filter=$(printf '%s\n' $names | sed 's/[][\.*^$()+?{}|]/\\&/g; s/.*/^&$/' | paste -sd'|')
  exe="$build/bin/$program"
  [ -x "$exe" ] || { echo "missing $exe: build it in $build (ORVIX_BUILD_BENCH=ON)" >&2; exit 1; }
  taskset -c 0 "$exe" --benchmark_filter="$filter" --benchmark_repetitions="${ORVIX_BENCH_REPETITIONS:-5}" \
    --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true --benchmark_out="$work/$program.json" --benchmark_out_format=json \
    > "$work/$program.log"
done

printf '%s\n' "$goals" | python3 -c '
import json, sys, os
work = sys.argv[1]
results = {}
spread = {}
for name in [n for n in os.listdir(work) if n.endswith(".json")]:
    data = json.load(open(os.path.join(work, name)))
    for b in data["benchmarks"]:
        run = b["run_name"]
        clock = b["real_time"] if run.endswith("/real_time") else b["cpu_time"]
        if b.get("aggregate_name") == "median":
            scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
            results[(name[:-5], run)] = clock * scale
        elif b.get("aggregate_name") == "cv":
            spread[(name[:-5], run)] = clock * 100
print("%-48s %9s %9s %7s  %-22s %-4s %s" % ("goal", "ours ms", "peer ms", "ratio", "goal", "met", "spread %"))
for line in sys.stdin:
    label, program, ours, peer, max_ratio, max_ms = [f.strip() for f in line.split("|")]
    mine = results.get((program, ours))
    other = results.get((program, peer)) if peer != "-" else None
    if mine is None or (peer != "-" and other is None):
        print("%-48s (benchmark missing: %s)" % (label, ours if mine is None else peer)); continue
    ratio = mine / other if other else None
    met, goal = True, []
    if max_ratio != "-":
        goal.append("ratio <= " + max_ratio); met = met and ratio <= float(max_ratio)
    if max_ms != "-":
        goal.append("<= %s ms" % max_ms); met = met and mine <= float(max_ms)
    spreads = ["%.0f" % spread[key] for key in [(program, ours), (program, peer)] if key in spread]
    print("%-48s %9.3f %9s %7s  %-22s %-4s %s" % (label, mine, "%.3f" % other if other else "-",
          "%.2f" % ratio if ratio else "-", ", ".join(goal) or "-", ("yes" if met else "NO") if goal else "-",
          " / ".join(spreads)))
' "$work"
