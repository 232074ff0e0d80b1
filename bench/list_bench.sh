#!/usr/bin/env bash
# Compares `corvanne --list` with `find` over the same generated tree of
# 100,000 files in 5,000 folders, warm cache, best of several runs each.
# Prints both times and their ratio; it is a measurement, not a test.
# Usage: bench/list_bench.sh [BUILD_FOLDER] [RUNS]    (default: build, 5)
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-build}"
runs="${2:-5}"
corvanne="$build/corvanne"
walk_bench="$build/bench/list_walk_bench"

work="$(mktemp -d "${TMPDIR:-/tmp}/corvanne-list-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
bench/make_tree.sh "$work/app" >/dev/null
root="$work/app/tree"

# Best wall-clock and best CPU (user + system) time in milliseconds of `runs`
# runs of the command given, as "WALL CPU". CPU time suffers less from other
# work on a shared machine.
best_ms() {
  local best_wall="" best_cpu="" wall cpu
  for ((i = 0; i < runs; i++)); do
    read -r wall cpu < <(/usr/bin/time -f "%e %U %S" "$@" 2>&1 >/dev/null | tail -n 1 |
                         awk '{ printf "%d %d\n", $1 * 1000, ($2 + $3) * 1000 }')
    if [ -z "$best_wall" ] || [ "$wall" -lt "$best_wall" ]; then best_wall=$wall; fi
    if [ -z "$best_cpu" ] || [ "$cpu" -lt "$best_cpu" ]; then best_cpu=$cpu; fi
  done
  echo "$best_wall $best_cpu"
}

# What a run selects: files of the folders below the listed one, by type in any case.
find_cmd=(find "$root" -mindepth 2 -type f "(" -iname "*.frm" -o -iname "*.bas" -o -iname "*.cls" ")")
"${find_cmd[@]}" >/dev/null  # warm the cache
find_count=$("${find_cmd[@]}" | wc -l)
read -r find_ms find_cpu < <(best_ms "${find_cmd[@]}")
echo "find:            $find_count files, best ${find_ms} ms wall, ${find_cpu} ms CPU (of $runs runs)"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }

config="$work/app/MyConfig.xml"
if [ -x "$corvanne" ] && "$corvanne" --list --config "$config" >"$work/list.txt" 2>"$work/list.err"; then
  list_count=$(wc -l <"$work/list.txt")
  if ! diff <(sort "$work/list.txt") <("${find_cmd[@]}" | sort) >/dev/null; then
    echo "corvanne --list and find list different files" >&2
  fi
  read -r list_ms list_cpu < <(best_ms "$corvanne" --list --config "$config")
  echo "corvanne --list: $list_count files, best ${list_ms} ms wall, ${list_cpu} ms CPU (of $runs runs)"
  echo "ratio corvanne --list / find: wall $(ratio "$list_ms" "$find_ms"), CPU $(ratio "$list_cpu" "$find_cpu") (target: at most 1.5)"
else
  echo "corvanne --list not available ($corvanne): $(head -c 200 "$work/list.err" 2>/dev/null)"
fi

if [ -x "$walk_bench" ]; then
  "$walk_bench" "$root" "$runs"
fi
