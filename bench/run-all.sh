#!/usr/bin/env bash
# Runs every benchmark of the release build and prints one Markdown summary table.
#
#   bench/run-all.sh [extra Google Benchmark flags...]
#
# Configures and builds the `release` preset when needed (only the benchmark programs), runs each
# benchmark program with --benchmark_format=json (raw results land in build/release/bench/json),
# and prints: operation, size (the benchmark's arguments), time per iteration (the median of
# three repetitions unless other flags are given), and the ratio to the side-by-side reference
# benchmark where the suite has one (time / reference time, so < 1 means faster than the
# reference). A second table summarises the specular-map build: its stage times, the thread
# scaling of the reflection-map stage and the peak extra memory of a cold build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
build="$root/build/release"

[ -f "$build/CMakeCache.txt" ] || cmake --preset release >/dev/null
targets=$(sed -n 's/^iximage_add_benchmark(\([A-Za-z0-9_]*\).*/\1/p' bench/CMakeLists.txt)
[ -n "$targets" ] || { echo "no benchmarks registered in bench/CMakeLists.txt" >&2; exit 1; }
# shellcheck disable=SC2086
cmake --build --preset release --target $targets >/dev/null

out="$build/bench/json"
mkdir -p "$out"
flags=("$@")
[ ${#flags[@]} -gt 0 ] || flags=(--benchmark_repetitions=3 --benchmark_report_aggregates_only=true)
for t in $targets; do
  echo "running $t" >&2
  "$build/bench/$t" --benchmark_format=json --benchmark_out_format=json \
    --benchmark_out="$out/$t.json" "${flags[@]}" >/dev/null
done

# Pairs "benchmark = reference": a run measured against the plain or alternative way of doing
# the same work that sits beside it in the suite. Names are matched on the benchmark's full
# name with Google Benchmark's suffixes (/iterations:N, /real_time) removed.
python3 - "$out" $targets <<'PY'
import json, re, sys

folder, targets = sys.argv[1], sys.argv[2:]
references = {
    "BM_LoadRotationMatrices": "BM_LoadRotationMatricesFscanf",
    "BM_ColdSpecularMapPhong32/2": "BM_BruteForcePrefilterPhong32",
    "BM_ColdSpecularMapPhong32/1": "BM_ColdSpecularMapPhong32/2",
    "BM_CachedCoeffsSpecularMapPhong32/2": "BM_ColdSpecularMapPhong32/2",
    "BM_CreateShrmThreads/2": "BM_CreateShrmThreads/1",
}
scale_to_ns = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}

def short(name):
    return re.sub(r"/(iterations:\d+|real_time|manual_time|min_time:[0-9.]+)", "", name)

def fmt(ns):
    for unit, f in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if ns >= f:
            return f"{ns / f:.3g} {unit}"
    return f"{ns:.3g} ns"

# With repetitions, the median aggregate stands for the benchmark; otherwise its single run.
rows, times, counters = [], {}, {}
for t in targets:
    with open(f"{folder}/{t}.json") as fh:
        data = json.load(fh)
    runs = [b for b in data.get("benchmarks", []) if not b.get("error_occurred")]
    medians = [b for b in runs if b.get("aggregate_name") == "median"]
    chosen = medians if medians else [b for b in runs if b.get("run_type", "iteration") == "iteration"]
    for b in chosen:
        name = short(b.get("run_name", b["name"]))
        if name in times:
            continue
        ns = b["real_time"] * scale_to_ns[b.get("time_unit", "ns")]
        times[name] = ns
        counters[name] = b
        parts = name.split("/")
        rows.append((t, parts[0].removeprefix("BM_"), "/".join(parts[1:]) or "-", name, ns))

print("| program | operation | size / args | time | ratio to reference |")
print("| --- | --- | --- | --- | --- |")
for program, op, size, name, ns in rows:
    ref = references.get(name)
    ratio = f"{ns / times[ref]:.3g} (vs {ref.removeprefix('BM_')})" if ref in times else ""
    print(f"| {program} | {op} | {size} | {fmt(ns)} | {ratio} |")

# The specular-map build in stages (counters of the cold build on 2 threads and on 1).
cold2, cold1 = counters.get("BM_ColdSpecularMapPhong32/2"), counters.get("BM_ColdSpecularMapPhong32/1")
if cold2:
    print()
    print("| specular map, Phong 32, 1024 x 512 probe | 2 threads | 1 thread |")
    print("| --- | --- | --- |")
    stages = [("sampling + projection", "sample_project_ms"),
              ("order analysis + convolution", "order_convolution_ms"),
              ("reflection map", "reflection_map_ms"), ("evaluation", "evaluate_ms")]
    for label, key in stages:
        one = f"{cold1[key]:.3g} ms" if cold1 and key in cold1 else ""
        print(f"| {label} | {cold2[key]:.3g} ms | {one} |")
    one = fmt(times["BM_ColdSpecularMapPhong32/1"]) if cold1 else ""
    print(f"| whole cold build | {fmt(times['BM_ColdSpecularMapPhong32/2'])} | {one} |")
    print(f"| peak extra memory of a cold build | {cold2['peak_extra_MB']:.3g} MB | |")
    cached = times.get("BM_CachedCoeffsSpecularMapPhong32/2")
    if cached:
        print(f"| build with the reflectance coefficients cached | {fmt(cached)} | |")
shrm1, shrm2 = times.get("BM_CreateShrmThreads/1"), times.get("BM_CreateShrmThreads/2")
if shrm1 and shrm2:
    print(f"| reflection-map stage alone | {fmt(shrm2)} | {fmt(shrm1)} |")
    print(f"\nreflection-map stage, 1 -> 2 threads: {shrm1 / shrm2:.2f}x")
brute = times.get("BM_BruteForcePrefilterPhong32")
if brute and cold2:
    print(f"brute-force prefilter / cold build on 2 threads: {brute / times['BM_ColdSpecularMapPhong32/2']:.0f}x")
PY
