#!/usr/bin/env bash
# Prices the columns that say where a row comes from: each row layout as a
# whole unattended run (marker rows on) against raw SQLite writing the same
# columns (layout_floor_bench), and against the run without such columns.
# Prints time and database size per layout, on the two generated corpora.
# Usage: bench/layout_bench.sh [BUILD_DIR] [WORK_DIR] [REPEATS]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
work=${2:-/tmp/corvanne-bench}
repeats=${3:-3}
bin() { if [ -x "$build/$1" ]; then echo "$build/$1"; else echo "$build/bench/$1"; fi; }
for tool in corvanne corpus_gen layout_floor_bench; do
  [ -x "$(bin "$tool")" ] || {
    echo "missing $tool; build it: cmake --build $build --target corvanne corpus_gen layout_floor_bench" >&2
    exit 2
  }
done

mkdir -p "$work"
for corpus in small large; do
  [ -f "$work/$corpus/MyConfig.xml" ] || "$(bin corpus_gen)" "$work" "$corpus"
done

now() { date +%s.%N; }
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }
mb() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1e6 }'; }

# "seconds MB" of the best of $repeats floor runs of layout $2 over corpus $1.
floor_figures() {
  local dir=$1 layout=$2 seconds="" s size
  for _ in $(seq "$repeats"); do
    s=$("$(bin layout_floor_bench)" "$dir" "$layout" "$work/layout_floor.db" |
      awk '{ for (i = 1; i < NF; i++) if ($(i+1) == "s") print $i }')
    seconds=$(best "$s" "$seconds")
  done
  size=$(mb "$work/layout_floor.db")
  rm -f "$work/layout_floor.db" "$work/layout_floor.db-wal" "$work/layout_floor.db-shm"
  echo "$seconds $size"
}

# "seconds MB" of the best of $repeats runs over corpus $1 with the keys $2
# (tags) added to its configuration.
run_figures() {
  local dir=$1 keys=$2 seconds="" start end status
  sed "s#</CORVANNE_CONFIG>#${keys}</CORVANNE_CONFIG>#" "$dir/MyConfig.xml" >"$dir/Layout.xml"
  sed -i 's#<SQL_SERVER_DATABASE_NAME>Corvanne.db#<SQL_SERVER_DATABASE_NAME>Layout.db#' "$dir/Layout.xml"
  for _ in $(seq "$repeats"); do
    rm -f "$dir/Layout.db" "$dir/Layout.db-wal" "$dir/Layout.db-shm"
    start=$(now)
    status=0
    "$(bin corvanne)" --config "$dir/Layout.xml" >/dev/null 2>"$work/stderr.txt" || status=$?
    end=$(now)
    if [ "$status" -ne 0 ]; then
      echo "corvanne ended with status $status:" >&2; head -20 "$work/stderr.txt" >&2; exit 1
    fi
    seconds=$(best "$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')" "$seconds")
  done
  echo "$seconds $(mb "$dir/Layout.db")"
}

tag() { echo "<$1>$2</$1>"; }
name=$(tag DESTINATION_FILE_NAME_COLUMN_NAME FileName)
line=$(tag DESTINATION_LINE_NUMBER_COLUMN_NAME LineNo)
batch=$(tag DESTINATION_BATCH_CODE_COLUMN_NAME Batch)
id=$(tag DESTINATION_FILE_ID_COLUMN_NAME FileId)
# run layout | its keys | the floor with the same columns
layouts=(
  "none||text"
  "name+line|$name$line|path"
  "name+line+batch|$name$line$batch|path"
  "id+line|$id$line|id"
)

printf '%-6s %-16s %8s %8s %7s %8s %9s %9s %7s %9s\n' corpus layout run_s floor_s ×floor ×none run_MB floor_MB ×floor ×none_MB
for corpus in small large; do
  dir=$work/$corpus
  none_s="" none_mb=""
  for entry in "${layouts[@]}"; do
    IFS='|' read -r label keys floor <<<"$entry"
    read -r fs fmb <<<"$(floor_figures "$dir" "$floor")"
    read -r rs rmb <<<"$(run_figures "$dir" "$keys")"
    [ -n "$none_s" ] || { none_s=$rs; none_mb=$rmb; }
    awk -v c="$corpus" -v l="$label" -v rs="$rs" -v fs="$fs" -v ns="$none_s" -v rm="$rmb" -v fm="$fmb" -v nm="$none_mb" \
      'BEGIN { printf "%-6s %-16s %8.3f %8.3f %6.2fx %7.2fx %9.1f %9.1f %6.2fx %8.2fx\n", c, l, rs, fs, rs / fs, rs / ns, rm, fm, rm / fm, rm / nm }'
  done
  rm -f "$dir/Layout.db" "$dir/Layout.db-wal" "$dir/Layout.db-shm" "$dir/Layout.xml"
done
echo "(best of $repeats; floors: text; path = path, line and batch per row; id = file id and line, the path once; no index)"
echo "aims: id+line ≤ 1.15x none in time and ≤ 1.6x in size; name+line ≤ 1.5x none in time"
# What an index on where rows come from would cost (corvanne makes none),
# and what the companion's index on file names costs (id_unnamed lacks it).
for layout in path_index id_index id_unnamed; do
  for corpus in small large; do
    read -r fs fmb <<<"$(floor_figures "$work/$corpus" "$layout")"
    echo "floor $layout on $corpus: $fs s, $fmb MB"
  done
done
