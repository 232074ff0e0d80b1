#!/usr/bin/env bash
# What choosing code pages costs a whole run, on the code page corpus of
# corpus_gen (5,000 modules: 60 % UTF-8 or ASCII, 40 % Windows-1252; and
# 200 samples each of Western, Big5, GBK, Shift_JIS and Thai code in their
# own folders), loaded into SQLite, the modes alternating:
# - the whole tree under AUTO against the right per-folder code pages (aim:
#   AUTO within 1.10x), and how many files AUTO read as the folder items do;
# - the 5,000 modules with the default code page, Windows-1252 by ICU's
#   table, against BYTES (aim: within 1.05x).
# Prints best and median seconds and the ratios.
# Usage: bench/code_page_auto_bench.sh [BUILD_DIR] [WORK_DIR] [REPEATS]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
work=${2:-/tmp/corvanne-cp-bench}
repeats=${3:-7}
bin() { if [ -x "$build/$1" ]; then echo "$build/$1"; else echo "$build/bench/$1"; fi; }
for tool in corvanne corpus_gen; do
  [ -x "$(bin $tool)" ] || { echo "missing $tool; build it: cmake --build $build" >&2; exit 2; }
done
corpus=$work/codepages
[ -f "$corpus/src/mod4999.bas" ] || "$(bin corpus_gen)" "$work" codepages >/dev/null

# config NAME FOLDERS RECURSION_OFF CODE_PAGE BY_FOLDER
config() {
  cat >"$corpus/$1.xml" <<XML
<CORVANNE_CONFIG>
<DESTINATION_ENGINE>SQLITE</DESTINATION_ENGINE>
<SQL_SERVER_DATABASE_NAME>$1.db</SQL_SERVER_DATABASE_NAME>
<UNATTENDED_RUN_USER_NAME>BENCH</UNATTENDED_RUN_USER_NAME>
<DESTINATION_FILE_NAME_COLUMN_NAME>FileName</DESTINATION_FILE_NAME_COLUMN_NAME>
<SKIP_COMPLETION_HEADERS_YES_NO>YES</SKIP_COMPLETION_HEADERS_YES_NO>
<SOURCE_FOLDERS_LIST>$2</SOURCE_FOLDERS_LIST>
<SOURCE_FOLDERS_LIST_SEP_CHAR>;</SOURCE_FOLDERS_LIST_SEP_CHAR>
<SOURCE_FOLDER_AVOID_RECURSION_YES_NO>$3</SOURCE_FOLDER_AVOID_RECURSION_YES_NO>
<SOURCE_FILE_CODE_PAGE>$4</SOURCE_FILE_CODE_PAGE>
<SOURCE_FILE_CODE_PAGES_BY_FOLDER>$5</SOURCE_FILE_CODE_PAGES_BY_FOLDER>
<UNATTENDED_YES_NO>YES</UNATTENDED_YES_NO>
</CORVANNE_CONFIG>
XML
}
tree="$corpus/src;$corpus/samples/western;$corpus/samples/big5;$corpus/samples/gbk;$corpus/samples/shift_jis;$corpus/samples/thai"
items="$corpus/samples/big5=950;$corpus/samples/gbk=936;$corpus/samples/shift_jis=932;$corpus/samples/thai=874"
config perfolder "$tree" YES "" "$items"
config auto "$tree" YES AUTO ""
config cp1252 "$corpus/src" YES "" ""
config bytes "$corpus/src" YES BYTES ""

now() { date +%s.%N; }
declare -A times
modes=(perfolder auto cp1252 bytes)
for _ in $(seq "$repeats"); do
  for mode in "${modes[@]}"; do
    rm -f "$corpus/$mode.db" "$corpus/$mode.db-wal" "$corpus/$mode.db-shm"
    start=$(now)
    "$(bin corvanne)" --config "$corpus/$mode.xml" 2>"$work/$mode.err" || { cat "$work/$mode.err" >&2; exit 1; }
    end=$(now)
    times[$mode]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }') "
  done
done
stat() { tr ' ' '\n' <<<"$1" | grep . | sort -n | awk '{ a[NR] = $1 } END { printf "%s %s", a[1], a[int((NR + 1) / 2)] }'; }
declare -A best median
printf '%-10s %8s %9s\n' mode best_s median_s
for mode in "${modes[@]}"; do
  read -r best[$mode] median[$mode] <<<"$(stat "${times[$mode]}")"
  printf '%-10s %8.3f %9.3f   %s\n' "$mode" "${best[$mode]}" "${median[$mode]}" "$(tail -1 "$work/$mode.err")"
done
ratio() { awk -v a="${best[$1]}" -v b="${best[$2]}" -v c="${median[$1]}" -v d="${median[$2]}" \
  'BEGIN { printf "best %.3fx, median %.3fx", a / b, c / d }'; }
echo "AUTO / per-folder: $(ratio auto perfolder) (aim <= 1.10x)"
echo "Windows-1252 / BYTES: $(ratio cp1252 bytes) (aim <= 1.05x)"
# Files whose every row AUTO read as the per-folder run did, per sample folder.
sqlite3 "$corpus/auto.db" "ATTACH '$corpus/perfolder.db' AS p;
  WITH a AS (SELECT FileName, group_concat(MyCodeLine, char(10)) t FROM SysCodeLines_Temp GROUP BY FileName),
       b AS (SELECT FileName, group_concat(MyCodeLine, char(10)) t FROM p.SysCodeLines_Temp GROUP BY FileName)
  SELECT CASE WHEN x LIKE 'samples/%' THEN substr(x, 1, 8 + instr(substr(x, 9), '/') - 1) ELSE 'src' END AS folder,
         sum(same) || ' of ' || count(*) || ' files read as the folder items read them'
  FROM (SELECT replace(a.FileName, '$corpus/', '') AS x, a.t = b.t AS same FROM a JOIN b USING (FileName))
  GROUP BY folder;"
echo "($repeats runs each, alternating)"
