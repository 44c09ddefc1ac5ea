#!/usr/bin/env bash
# Runs every benchmark of the release build and prints one Markdown summary table.
#
#   bench/run-all.sh [extra Google Benchmark flags...]
#
# Configures and builds the `release` preset when needed (only the benchmark programs), runs each
# benchmark program with --benchmark_format=json (raw results land in build/release/bench/json),
# and prints: operation, size (the benchmark's arguments), time per iteration, and the ratio to
# the side-by-side reference benchmark where the suite has one (time / reference time, so < 1
# means faster than the reference).
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
for t in $targets; do
  echo "running $t" >&2
  "$build/bench/$t" --benchmark_format=json --benchmark_out_format=json \
    --benchmark_out="$out/$t.json" "$@" >/dev/null
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
    "BM_ColdSpecularMapPhong32/1": "BM_BruteForcePrefilterPhong32",
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

rows, times = [], {}
for t in targets:
    with open(f"{folder}/{t}.json") as fh:
        data = json.load(fh)
    for b in data.get("benchmarks", []):
        if b.get("run_type", "iteration") != "iteration" or b.get("error_occurred"):
            continue
        name = short(b["name"])
        ns = b["real_time"] * scale_to_ns[b.get("time_unit", "ns")]
        times[name] = ns
        parts = name.split("/")
        rows.append((t, parts[0].removeprefix("BM_"), "/".join(parts[1:]) or "-", name, ns))

print("| program | operation | size / args | time | ratio to reference |")
print("| --- | --- | --- | --- | --- |")
for program, op, size, name, ns in rows:
    ref = references.get(name)
    ratio = f"{ns / times[ref]:.3g} (vs {ref.removeprefix('BM_')})" if ref in times else ""
    print(f"| {program} | {op} | {size} | {fmt(ns)} | {ratio} |")
PY
