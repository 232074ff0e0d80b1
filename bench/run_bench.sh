#!/usr/bin/env bash
# Times whole unattended runs (marker rows on) against the loading floor, on
# the two generated corpora, and prints lines/s, files/s, the ratio and peak memory.
# Usage: bench/run_bench.sh [BUILD_DIR] [WORK_DIR] [REPEATS]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
work=${2:-/tmp/corvanne-bench}
repeats=${3:-3}
for tool in corvanne corpus_gen load_floor_bench; do
  path=$build/$tool
  [ -x "$path" ] || [ -x "$build/bench/$tool" ] || {
    echo "missing $tool; build it: cmake --build $build --target corvanne corpus_gen load_floor_bench" >&2
    exit 2
  }
done
bin() { if [ -x "$build/$1" ]; then echo "$build/$1"; else echo "$build/bench/$1"; fi; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package: time)" >&2; exit 2; }

mkdir -p "$work"
for corpus in small large; do
  [ -f "$work/$corpus/MyConfig.xml" ] || "$(bin corpus_gen)" "$work" "$corpus"
done

now() { date +%s.%N; }

# Seconds of the best of $repeats floor runs over one corpus ($2: --markers
# for the floor that writes a run's marker rows too).
floor_seconds() {
  local best="" s
  for _ in $(seq "$repeats"); do
    s=$("$(bin load_floor_bench)" "$1" "$work/floor.db" ${2:-} | awk '{ for (i = 1; i < NF; i++) if ($(i+1) == "s") print $i }')
    best=$(awk -v a="$s" -v b="$best" 'BEGIN { print (b == "" || a < b) ? a : b }')
  done
  rm -f "$work/floor.db" "$work/floor.db-wal" "$work/floor.db-shm"
  echo "$best"
}

# Best of $repeats full runs: "seconds peak_kib"; the table is checked after each.
run_seconds() {
  local corpus=$1 best="" peak=0 start end s kib status
  for _ in $(seq "$repeats"); do
    rm -f "$corpus/Corvanne.db" "$corpus/Corvanne.db-wal" "$corpus/Corvanne.db-shm"
    start=$(now)
    status=0
    /usr/bin/time -v -o "$work/time.txt" "$(bin corvanne)" --config "$corpus/MyConfig.xml" 2>"$work/stderr.txt" || status=$?
    end=$(now)
    if [ "$status" -ne 0 ]; then
      echo "corvanne ended with status $status:" >&2; head -20 "$work/stderr.txt" >&2; exit 1
    fi
    s=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
    kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
    best=$(awk -v a="$s" -v b="$best" 'BEGIN { print (b == "" || a < b) ? a : b }')
    [ "$kib" -gt "$peak" ] && peak=$kib
  done
  echo "$best $peak"
}

printf '%-6s %7s %9s %11s %8s %12s %10s %8s %8s %9s %9s %9s\n' corpus files lines floor_s run_s lines/s files/s ratio aim \
  peak_MiB markers_s ×markers
for corpus in large small; do
  dir=$work/$corpus
  floor=$(floor_seconds "$dir")
  with_markers=$(floor_seconds "$dir" --markers)
  read -r seconds peak <<<"$(run_seconds "$dir")"
  # What landed: every source line once, and two marker rows per file.
  read -r rows markers <<<"$(sqlite3 -separator ' ' "$dir/Corvanne.db" \
    "SELECT count(*), sum(MyCodeLine LIKE '<TASK_STATUS>%') FROM SysCodeLines_Temp")"
  files=$((markers / 2))
  lines=$((rows - markers))
  aim=$([ "$corpus" = large ] && echo 1.1 || echo 1.2)
  awk -v c="$corpus" -v f="$files" -v l="$lines" -v fl="$floor" -v s="$seconds" -v a="$aim" -v p="$peak" \
    -v m="$with_markers" 'BEGIN {
    printf "%-6s %7d %9d %11.3f %8.3f %12.0f %10.0f %7.2fx %7.1fx %9.1f %9.3f %8.2fx\n", c, f, l, fl, s, l / s, f / s, s / fl,
      a, p / 1024, m, s / m }'
done
echo "(best of $repeats; the run includes start-up, the folder walk and marker rows; peak memory aim: 64 MiB;"
echo " markers_s: the floor writing a run's two marker rows per file too, the yardstick of the aims)"
