#!/usr/bin/env bash
# Times scheduled re-loads into SQLite against a full APPEND run of the same
# tree, and a re-run with nothing changed against `find -newer` over it. Two
# trees: the 20,000-file corpus of corpus_gen, and a tree of real shape (the
# first 5,000 C headers of /usr/include, copied). Prints seconds and ratios.
# Usage: bench/reload_bench.sh [BUILD_DIR] [WORK_DIR] [REPEATS]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
work=${2:-/tmp/corvanne-reload-bench}
repeats=${3:-3}
corvanne=$build/corvanne
gen=$build/bench/corpus_gen
[ -x "$gen" ] || gen=$build/corpus_gen
for tool in "$corvanne" "$gen"; do
  [ -x "$tool" ] || { echo "missing $tool; build it: cmake --build $build --target corvanne corpus_gen" >&2; exit 2; }
done

mkdir -p "$work"
[ -f "$work/small/MyConfig.xml" ] || "$gen" "$work" small >/dev/null
if [ ! -d "$work/real/src" ]; then
  mkdir -p "$work/real/src"
  (cd /usr/include && find . -name '*.h' -type f | LC_ALL=C sort | awk 'NR <= 5000' |
     while read -r f; do mkdir -p "$work/real/src/$(dirname "$f")" && cp -p "$f" "$work/real/src/$f"; done)
fi

now() { date +%s.%N; }
seconds_since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }

# Writes $1/$2.xml: the tree $1/src into $1/$2.db in mode $3 (file-name column set).
config() {
  local dir=$1 name=$2 mode=$3 extensions=$4
  cat >"$dir/$name.xml" <<XML
<CORVANNE_CONFIG>
<DESTINATION_ENGINE>SQLITE</DESTINATION_ENGINE>
<SQL_SERVER_DATABASE_NAME>$name.db</SQL_SERVER_DATABASE_NAME>
<UNATTENDED_RUN_USER_NAME>BENCH</UNATTENDED_RUN_USER_NAME>
<SOURCE_FOLDERS_LIST>$dir/src</SOURCE_FOLDERS_LIST>
<SOURCE_FOLDERS_LIST_SEP_CHAR>;</SOURCE_FOLDERS_LIST_SEP_CHAR>
<SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST>$extensions</SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST>
<DESTINATION_FILE_NAME_COLUMN_NAME>FileName</DESTINATION_FILE_NAME_COLUMN_NAME>
<DESTINATION_LOAD_MODE>$mode</DESTINATION_LOAD_MODE>
<UNATTENDED_YES_NO>YES</UNATTENDED_YES_NO>
</CORVANNE_CONFIG>
XML
}

# One run; its seconds. A failed load (a line over 8000 characters in a real
# header, say) is allowed; a run that could not start is not.
run() {
  local start status=0
  start=$(now)
  "$corvanne" --config "$1" 2>"$work/stderr.txt" || status=$?
  if [ "$status" -ge 2 ]; then echo "corvanne: status $status" >&2; head "$work/stderr.txt" >&2; exit 1; fi
  seconds_since "$start"
}

printf '%-6s %6s %9s %10s %10s %7s %10s %8s %7s\n' tree files append_s changed1_s ratio aim unchanged_s find_s ratio
for tree in small real; do
  dir=$work/$tree
  extensions=$([ "$tree" = real ] && echo H || echo FRM,BAS,CLS)
  config "$dir" append APPEND "$extensions"
  config "$dir" changed CHANGED "$extensions"
  mapfile -t files < <(find "$dir/src" -type f | LC_ALL=C sort)
  append="" changed="" unchanged="" found=""
  for r in $(seq "$repeats"); do
    rm -f "$dir"/append.db*
    append=$(min "$(run "$dir/append.xml")" "$append")
  done
  rm -f "$dir"/changed.db*
  run "$dir/changed.xml" >/dev/null   # the first CHANGED run loads everything
  sleep 2.1                           # times older than the load can be trusted again
  for r in $(seq "$repeats"); do
    # 1 % of the files edited (another 1 % each time).
    for ((i = r; i < ${#files[@]}; i += 100)); do printf "' edited %s\r\n" "$r" >>"${files[$i]}"; done
    changed=$(min "$(run "$dir/changed.xml")" "$changed")
  done
  sleep 2.1
  touch "$work/marker"
  for r in $(seq "$repeats"); do
    unchanged=$(min "$(run "$dir/changed.xml")" "$unchanged")
    start=$(now)
    find "$dir/src" -newer "$work/marker" -type f >/dev/null
    found=$(min "$(seconds_since "$start")" "$found")
  done
  awk -v t="$tree" -v f="${#files[@]}" -v a="$append" -v c="$changed" -v u="$unchanged" -v n="$found" 'BEGIN {
    printf "%-6s %6d %9.3f %10.3f %6.1f%% %7s %10.3f %8.3f %6.2fx (aim 2x)\n", t, f, a, c, 100 * c / a, "5%", u, n, u / n }'
done
echo "(best of $repeats; warm cache; append_s: a full APPEND run with the same table; changed1_s: a CHANGED run"
echo " with 1 % of the files edited; unchanged_s: a CHANGED run with nothing changed)"
