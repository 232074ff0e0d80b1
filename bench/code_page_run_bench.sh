#!/usr/bin/env bash
# What decoding costs a whole run: a corpus of corpus_gen loaded into SQLite
# with the default code page and under BYTES, and by the loading floor
# (load_floor_bench: raw SQLite, no decoding, no marker rows, timed inside
# the process), alternately, in the same benchmark run; prints the best and
# median seconds, lines/s and the ratios (aims: default within 1.05x of
# BYTES on `codepages`; on `vb6` within 1.03x of BYTES and 1.05x of the floor).
# CORPUS: `codepages` (5,000 modules, 60 % UTF-8 or ASCII, 40 %
# Windows-1252) or `vb6` (5,411 files of a Visual Basic 6 tree's shape,
# 3.2 M lines, 39 % Windows-1252).
# Usage: bench/code_page_run_bench.sh [BUILD_DIR] [WORK_DIR] [REPEATS] [CORPUS]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
work=${2:-/tmp/corvanne-cp-bench}
repeats=${3:-7}
name=${4:-codepages}
bin() { if [ -x "$build/$1" ]; then echo "$build/$1"; else echo "$build/bench/$1"; fi; }
for tool in corvanne corpus_gen load_floor_bench; do
  [ -x "$(bin $tool)" ] || { echo "missing $tool; build it: cmake --build $build" >&2; exit 2; }
done

corpus=$work/$name
case $name in
  # With recursion on, a run searches only the folders below a listed one.
  codepages) last=$corpus/src/mod4999.bas aim=1.05 avoid_recursion=YES ;;
  vb6) last=$corpus/MyConfig.xml aim=1.03 avoid_recursion=NO ;;  # written after the sources
  *) echo "unknown corpus $name (codepages or vb6)" >&2; exit 2 ;;
esac
[ -f "$last" ] || "$(bin corpus_gen)" "$work" "$name" >/dev/null

# One configuration per mode; the sources lie in src/ (codepages) or below it (vb6).
for mode in default BYTES; do
  page=$([ "$mode" = BYTES ] && echo BYTES || echo "")
  cat >"$corpus/$mode.xml" <<XML
<CORVANNE_CONFIG>
<DESTINATION_ENGINE>SQLITE</DESTINATION_ENGINE>
<SQL_SERVER_DATABASE_NAME>$mode.db</SQL_SERVER_DATABASE_NAME>
<UNATTENDED_RUN_USER_NAME>BENCH</UNATTENDED_RUN_USER_NAME>
<SOURCE_FOLDERS_LIST>$corpus/src</SOURCE_FOLDERS_LIST>
<SOURCE_FOLDERS_LIST_SEP_CHAR>;</SOURCE_FOLDERS_LIST_SEP_CHAR>
<SOURCE_FOLDER_AVOID_RECURSION_YES_NO>$avoid_recursion</SOURCE_FOLDER_AVOID_RECURSION_YES_NO>
<SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST>FRM,BAS,CLS</SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST>
<SOURCE_FILE_CODE_PAGE>$page</SOURCE_FILE_CODE_PAGE>
<UNATTENDED_YES_NO>YES</UNATTENDED_YES_NO>
</CORVANNE_CONFIG>
XML
done

now() { date +%s.%N; }
# On a shared machine the wall time waits for others; user + system CPU
# seconds are steadier (the floor's include its start-up and file list).
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package: time)" >&2; exit 2; }
cpu_time=(/usr/bin/time -f "%U %S %e" -o "$work/cpu.txt")
cpu_seconds() { awk '{ printf "%.3f", $1 + $2 }' "$work/cpu.txt"; }
declare -A times cpu
for _ in $(seq "$repeats"); do
  for mode in default BYTES; do
    rm -f "$corpus/$mode.db" "$corpus/$mode.db-wal" "$corpus/$mode.db-shm"
    start=$(now)
    "${cpu_time[@]}" "$(bin corvanne)" --config "$corpus/$mode.xml" 2>"$work/$mode.err" ||
      { cat "$work/$mode.err" >&2; exit 1; }
    end=$(now)
    times[$mode]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }') "
    cpu[$mode]+="$(cpu_seconds) "
  done
  times[floor]+="$("${cpu_time[@]}" "$(bin load_floor_bench)" "$corpus" "$work/floor.db" |
    awk '{ for (i = 1; i < NF; i++) if ($(i+1) == "s") print $i }') "
  cpu[floor]+="$(cpu_seconds) "
  # The floor times its loop only; its whole process (start-up, file list,
  # the closing checkpoint) is timed as the runs are.
  times[process]+="$(awk '{ print $3 }' "$work/cpu.txt") "
done
rm -f "$work/floor.db" "$work/floor.db-wal" "$work/floor.db-shm"
lines=$(sqlite3 "$corpus/default.db" "SELECT count(*) FROM SysCodeLines_Temp WHERE MyCodeLine NOT LIKE '<TASK_STATUS>%'")
stat() { tr ' ' '\n' <<<"$1" | grep . | sort -n | awk '{ a[NR] = $1 } END { printf "%s %s", a[1], a[int((NR + 1) / 2)] }'; }
read -r best_d median_d <<<"$(stat "${times[default]}")"
read -r best_b median_b <<<"$(stat "${times[BYTES]}")"
read -r best_f median_f <<<"$(stat "${times[floor]}")"
read -r best_p median_p <<<"$(stat "${times[process]}")"
read -r cpu_d _ <<<"$(stat "${cpu[default]}")"
read -r cpu_b _ <<<"$(stat "${cpu[BYTES]}")"
read -r cpu_f _ <<<"$(stat "${cpu[floor]}")"
echo "closing line of the default run: $(tail -1 "$work/default.err")"
printf '%-8s %8s %9s %12s %10s\n' mode best_s median_s lines/s best_cpu_s
awk -v l="$lines" -v bd="$best_d" -v md="$median_d" -v bb="$best_b" -v mb="$median_b" -v bf="$best_f" \
  -v mf="$median_f" -v bp="$best_p" -v mp="$median_p" -v cd="$cpu_d" -v cb="$cpu_b" -v cf="$cpu_f" -v aim="$aim" 'BEGIN {
  printf "%-8s %8.3f %9.3f %12.0f %10.3f\n", "default", bd, md, l / md, cd
  printf "%-8s %8.3f %9.3f %12.0f %10.3f\n", "BYTES", bb, mb, l / mb, cb
  printf "%-8s %8.3f %9.3f %12.0f %10.3f\n", "floor", bf, mf, l / mf, cf
  printf "%-8s %8.3f %9.3f %12.0f %10s\n", "floor_p", bp, mp, l / mp, "(process)"
  printf "ratio default/BYTES: best %.3fx, median %.3fx, cpu %.3fx (aim <= %sx)\n", bd / bb, md / mb, cd / cb, aim
  printf "ratio default/floor: best %.3fx, median %.3fx, cpu %.3fx (aim <= 1.05x on vb6)\n", bd / bf, md / mf, cd / cf
  printf "ratio BYTES/floor:   best %.3fx, median %.3fx, cpu %.3fx\n", bb / bf, mb / mf, cb / cf
  printf "ratio default/floor process: best %.3fx, median %.3fx\n", bd / bp, md / mp }'
echo "($repeats runs each, alternating; $lines source lines per run; the runs include start-up, the walk and marker rows)"
