#!/usr/bin/env bash
# Re-loads at the cost of their changes, with the figures their aims are
# stated in:
#   1. Speed, per engine (SQLite; with SERVERS=1 also the native PostgreSQL
#      engine and ODBC through the same server, on private test servers):
#      a full APPEND run of the tree against a CHANGED run with 1 % of the
#      files edited (aim: at most 5 %), and a CHANGED run with nothing
#      changed against `find -newer` over the tree (aim: at most 2x). Trees:
#      the 20,000-file corpus of corpus_gen, and on SQLite also a tree of real
#      shape (the first 5,000 C headers of /usr/include, copied).
#   2. Memory (SQLite): peak resident size over MEMORY_FILES tiny files
#      (default 200,000; 0 leaves it out) of the first CHANGED run (the full
#      load), a CHANGED re-run with nothing changed (aim: at most 64 MiB) and
#      --list alone, from /usr/bin/time -v.
# Usage: [SERVERS=1] [MEMORY_FILES=N] bench/reload_bench.sh [BUILD_DIR] [WORK_DIR] [REPEATS]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
work=${2:-/tmp/corvanne-reload-bench}
repeats=${3:-3}
servers=${SERVERS:-0}
memory_files=${MEMORY_FILES:-200000}
corvanne=$(realpath "$build/corvanne")
gen=$build/bench/corpus_gen
[ -x "$gen" ] || gen=$build/corpus_gen
for tool in "$corvanne" "$gen" /usr/bin/time; do
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

if [ "$servers" = 1 ]; then
  # shellcheck source=../scripts/lib/test-servers.sh
  . scripts/lib/test-servers.sh
  trap stop_test_servers EXIT
  start_test_servers
  export PGPASSWORD=$CORVANNE_TEST_PG_PASSWORD PGOPTIONS='-c client_min_messages=warning'
fi
psql_run() {
  psql -X -q -v ON_ERROR_STOP=1 -h "$CORVANNE_TEST_PG_HOST" -p "$CORVANNE_TEST_PG_PORT" \
    -U "$CORVANNE_TEST_PG_USER" -d "$CORVANNE_TEST_PG_DATABASE" "$@"
}

# Writes $1/$2.xml: the tree $1/src into table (or SQLite database) $2 in
# mode $3 with extensions $4 on engine $5 (file-name column set).
config() {
  local dir=$1 name=$2 mode=$3 extensions=$4 engine=$5 server="" database=$2.db table=""
  case $engine in
    POSTGRESQL) server=$CORVANNE_TEST_PG_HOST:$CORVANNE_TEST_PG_PORT ;;
    ODBC) server=$CORVANNE_TEST_PG_DSN ;;
  esac
  if [ "$engine" != SQLITE ]; then
    database=$CORVANNE_TEST_PG_DATABASE
    table="<DESTINATION_TABLE_NAME>[$name]</DESTINATION_TABLE_NAME>
<UNATTENDED_RUN_PASSWORD>$CORVANNE_TEST_PG_PASSWORD</UNATTENDED_RUN_PASSWORD>"
  fi
  cat >"$dir/$name.xml" <<XML
<CORVANNE_CONFIG>
<DESTINATION_ENGINE>$engine</DESTINATION_ENGINE>
<SQL_SERVER_NAME>$server</SQL_SERVER_NAME>
<SQL_SERVER_DATABASE_NAME>$database</SQL_SERVER_DATABASE_NAME>
<UNATTENDED_RUN_USER_NAME>${CORVANNE_TEST_PG_USER:-BENCH}</UNATTENDED_RUN_USER_NAME>
$table
<SOURCE_FOLDERS_LIST>$dir/src</SOURCE_FOLDERS_LIST>
<SOURCE_FOLDERS_LIST_SEP_CHAR>;</SOURCE_FOLDERS_LIST_SEP_CHAR>
<SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST>$extensions</SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST>
<DESTINATION_FILE_NAME_COLUMN_NAME>FileName</DESTINATION_FILE_NAME_COLUMN_NAME>
<DESTINATION_LOAD_MODE>$mode</DESTINATION_LOAD_MODE>
<UNATTENDED_YES_NO>YES</UNATTENDED_YES_NO>
</CORVANNE_CONFIG>
XML
}

# Empties table $2 of engine $1 (and its companion table): the next run
# loads everything. Server tables are made as docs/odbc.md shows.
fresh() {
  local engine=$1 dir=$2 name=$3
  if [ "$engine" = SQLITE ]; then
    rm -f "$dir/$name".db*
    return
  fi
  psql_run -c "DROP VIEW IF EXISTS \"${name}_View\"" -c "DROP TABLE IF EXISTS \"$name\", \"${name}_Files\"" \
    -c "CREATE TABLE \"$name\" (LineId bigserial PRIMARY KEY, MyCodeLine varchar(8000), FileName varchar(1000))" \
    -c "CREATE INDEX \"${name}_file\" ON \"$name\" (FileName)" \
    -c "CREATE TABLE \"${name}_Files\" (FileName varchar(1000) PRIMARY KEY, FileSize bigint, ModifiedTime bigint,
          ContentHash varchar(32), LineCount bigint, BatchCode varchar(100), CheckedTime bigint)"
}

# One run; its seconds. A failed load is allowed in the real tree (a line
# over 8000 characters in a header, say); elsewhere, and a run that could not
# start, it ends the benchmark: a figure of failed loads says nothing.
run() {
  local start status=0 allowed=0
  [ "$tree" = real ] && allowed=1
  start=$(now)
  "$corvanne" --config "$1" 2>"$work/stderr.txt" || status=$?
  if [ "$status" -gt "$allowed" ]; then echo "corvanne: status $status" >&2; tail "$work/stderr.txt" >&2; exit 1; fi
  seconds_since "$start"
}

engines=(SQLITE)
[ "$servers" = 1 ] && engines+=(POSTGRESQL ODBC)
printf '%-10s %-6s %6s %9s %10s %7s %11s %8s %7s\n' engine tree files append_s changed1_s ratio unchanged_s find_s ratio
for engine in "${engines[@]}"; do
  trees=(small)
  [ "$engine" = SQLITE ] && trees+=(real)
  for tree in "${trees[@]}"; do
    dir=$work/$tree
    extensions=$([ "$tree" = real ] && echo H || echo FRM,BAS,CLS)
    config "$dir" bench_append APPEND "$extensions" "$engine"
    config "$dir" bench_changed CHANGED "$extensions" "$engine"
    mapfile -t files < <(find "$dir/src" -type f | LC_ALL=C sort)
    append="" changed="" unchanged="" found=""
    for r in $(seq "$repeats"); do
      fresh "$engine" "$dir" bench_append
      append=$(min "$(run "$dir/bench_append.xml")" "$append")
    done
    fresh "$engine" "$dir" bench_changed
    run "$dir/bench_changed.xml" >/dev/null   # the first CHANGED run loads everything
    sleep 2.1                                 # times older than the load can be trusted again
    for r in $(seq "$repeats"); do
      # 1 % of the files edited (another 1 % each time).
      for ((i = r; i < ${#files[@]}; i += 100)); do printf "' edited %s\r\n" "$r" >>"${files[$i]}"; done
      changed=$(min "$(run "$dir/bench_changed.xml")" "$changed")
    done
    sleep 2.1
    touch "$work/marker"
    for r in $(seq "$repeats"); do
      unchanged=$(min "$(run "$dir/bench_changed.xml")" "$unchanged")
      start=$(now)
      find "$dir/src" -newer "$work/marker" -type f >/dev/null
      found=$(min "$(seconds_since "$start")" "$found")
    done
    awk -v e="$engine" -v t="$tree" -v f="${#files[@]}" -v a="$append" -v c="$changed" -v u="$unchanged" \
      -v n="$found" 'BEGIN {
      printf "%-10s %-6s %6d %9.3f %10.3f %6.1f%% %11.3f %8.3f %6.2fx\n", e, t, f, a, c, 100 * c / a, u, n, u / n }'
  done
done
echo "(best of $repeats; warm cache; append_s: a full APPEND run into a table of the same shape; changed1_s: a CHANGED"
echo " run with 1 % of the files edited, aim 5 % of append_s; unchanged_s: a CHANGED run with nothing changed, aim 2x"
echo " find_s, the time of find -newer over the tree)"

[ "$memory_files" -gt 0 ] || exit 0
# Tiny files, 20 to a folder three levels down, one short line each.
tiny=$work/tiny$memory_files
if [ ! -f "$tiny/done" ]; then
  rm -rf "$tiny" && mkdir -p "$tiny/src"
  (cd "$tiny/src" && awk -v n="$memory_files" 'BEGIN {
    split("frm bas cls", exts, " ");
    for (k = 0; k < n; k++) {
      d = sprintf("Project%02d/Area%02d/Unit%02d", int(k / 20000) + 1, int(k / 500) % 40 + 1, int(k / 20) % 25 + 1);
      if (k % 20 == 0) print "D " d;
      printf "F %s/File%02d.%s\n", d, k % 20 + 1, exts[k % 3 + 1] } }' >../entries.txt &&
   sed -n 's/^D //p' ../entries.txt | xargs mkdir -p &&
   sed -n 's/^F //p' ../entries.txt | awk '{ printf "Attribute VB_Name = \"x\"\r\n" > $0; close($0) }' &&
   rm ../entries.txt)
  touch "$tiny/done"
fi
config "$tiny" tiny CHANGED FRM,BAS,CLS SQLITE
# Peak resident size in MiB of corvanne with arguments "$@".
peak() {
  local status=0
  /usr/bin/time -v "$corvanne" "$@" >/dev/null 2>"$work/time.txt" || status=$?
  if [ "$status" -ge 2 ]; then echo "corvanne: status $status" >&2; tail "$work/time.txt" >&2; exit 1; fi
  awk '/Maximum resident set size/ { printf "%.1f", $NF / 1024 }' "$work/time.txt"
}
rm -f "$tiny"/tiny.db*
full=$(peak --config "$tiny/tiny.xml")
sleep 2.1
rerun=$(peak --config "$tiny/tiny.xml")
listed=$(peak --list --config "$tiny/tiny.xml")
printf '\n%-8s %14s %16s %13s\n' files full_load_MiB changed_rerun_MiB list_MiB
printf '%-8d %14s %16s %13s\n' "$memory_files" "$full" "$rerun" "$listed"
echo "(SQLite; peak resident size; full_load: the first CHANGED run; changed_rerun: with nothing changed, aim 64 MiB)"
