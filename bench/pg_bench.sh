#!/usr/bin/env bash
# Native PostgreSQL load speed beside its peers, in one benchmark run, into a
# private PostgreSQL whose commits reach the disk (the script starts its own
# instances and turns fsync, synchronous_commit and full_page_writes back
# on, which the test servers run without). On each corpus (the 20,000 small
# files, the real-shape tree, 4 files of 1,000,000 lines), with marker rows:
#   - the psql session a user would script: per file an INSERT of the BEGINS
#     row, \copy of the file, an INSERT of the DONE row, after SET
#     synchronous_commit = off (run before and after; the faster counts);
#   - corvanne, DESTINATION_ENGINE POSTGRESQL;
#   - corvanne, DESTINATION_ENGINE ODBC through the same server with
#     Protocol=7.4-1 (the fast DSN setting), for the client CPU comparison.
# Prints wall seconds, client CPU seconds (user + system of corvanne) and the
# ratio to the session. Aims: at most 0.6x (small), 0.85x (real), 1.0x
# (large) of the session; client CPU at most half of the ODBC path's. One
# run each: figures on a busy machine are noisy.
# Usage: bench/pg_bench.sh [CORPUS ...]   (default: small real large)
# CORVANNE=path runs another corvanne; CORPUS_DIR keeps the corpora.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
corpora=("$@")
[ "${#corpora[@]}" -gt 0 ] || corpora=(small real large)

cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target corvanne corpus_gen >/dev/null
corvanne=${CORVANNE:-$build/corvanne}

# shellcheck source=../scripts/lib/test-servers.sh
. scripts/lib/test-servers.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/corvanne-pg-bench.XXXXXX")
trap 'stop_test_servers; rm -rf "$work"' EXIT
start_test_servers
_cts_psql "$CORVANNE_TEST_PG_DATA" "$CORVANNE_TEST_PG_PORT" postgres \
  -c 'ALTER SYSTEM SET fsync = on' -c 'ALTER SYSTEM SET synchronous_commit = on' \
  -c 'ALTER SYSTEM SET full_page_writes = on' -c 'SELECT pg_reload_conf()'
export PGPASSWORD=$CORVANNE_TEST_PG_PASSWORD PGOPTIONS='-c client_min_messages=warning'
psql_run() {
  psql -X -q -v ON_ERROR_STOP=1 -h "$CORVANNE_TEST_PG_HOST" -p "$CORVANNE_TEST_PG_PORT" \
    -U "$CORVANNE_TEST_PG_USER" -d "$CORVANNE_TEST_PG_DATABASE" "$@"
}
section=$(sed -n "/^\[$CORVANNE_TEST_PG_DSN\]/,/^\$/p" "$ODBCINI")
printf '\n%s\n' "$section" | sed "s/^\[.*\]/[BenchPgTx]/; s/^Protocol=.*/Protocol=7.4-1/" >>"$ODBCINI"
sleep 1
echo "server: PostgreSQL $(psql_run -At -c 'SHOW server_version'), fsync=$(psql_run -At -c 'SHOW fsync')," \
  "synchronous_commit=$(psql_run -At -c 'SHOW synchronous_commit'), data in $(df -T "$CORVANNE_TEST_PG_DATA" | awk 'NR == 2 { print $2 }')"

corpus=${CORPUS_DIR:-/tmp/corvanne-corpus}
for name in "${corpora[@]}"; do
  [ -f "$corpus/$name/MyConfig.xml" ] || "$build/bench/corpus_gen" "$corpus" "$name"
done
now() { date +%s.%N; }
# Each contender starts with the server's dirty pages written out.
checkpoint() { _cts_psql "$CORVANNE_TEST_PG_DATA" "$CORVANNE_TEST_PG_PORT" postgres -c CHECKPOINT; }
copy_options="WITH (FORMAT csv, DELIMITER E'\\x01', QUOTE E'\\x02')"
table_sql='(LineId bigserial PRIMARY KEY, MyCodeLine text)'

printf '%-6s %-10s %6s %9s %8s %8s %7s %6s %5s\n' corpus engine files lines wall_s cpu_s psql_s ratio aim
for name in "${corpora[@]}"; do
  case $name in small) aim=0.6 ;; real) aim=0.85 ;; *) aim=1.0 ;; esac
  psql_run -c 'DROP TABLE IF EXISTS bench_run' -c 'DROP TABLE IF EXISTS bench_session' \
    -c "CREATE TABLE bench_run $table_sql" -c "CREATE TABLE bench_session $table_sql"
  config() {  # engine, server
    cat <<EOF
<CORVANNE_CONFIG>
<DESTINATION_ENGINE>$1</DESTINATION_ENGINE>
<SQL_SERVER_NAME>$2</SQL_SERVER_NAME>
<SQL_SERVER_DATABASE_NAME>$CORVANNE_TEST_PG_DATABASE</SQL_SERVER_DATABASE_NAME>
<UNATTENDED_RUN_USER_NAME>$CORVANNE_TEST_PG_USER</UNATTENDED_RUN_USER_NAME>
<UNATTENDED_RUN_PASSWORD>$CORVANNE_TEST_PG_PASSWORD</UNATTENDED_RUN_PASSWORD>
<DESTINATION_TABLE_NAME>[bench_run]</DESTINATION_TABLE_NAME>
<DESTINATION_COLUMN_NAME>MyCodeLine</DESTINATION_COLUMN_NAME>
<SOURCE_FOLDERS_LIST>$corpus/$name/src</SOURCE_FOLDERS_LIST>
<SOURCE_FOLDERS_LIST_SEP_CHAR>;</SOURCE_FOLDERS_LIST_SEP_CHAR>
<SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST>FRM,BAS,CLS</SOURCE_FILE_EXTENSIONS_COMMA_SEP_LIST>
<SOURCE_FILE_ROW_DELIMITER>VBCRLF</SOURCE_FILE_ROW_DELIMITER>
<UNATTENDED_YES_NO>YES</UNATTENDED_YES_NO>
</CORVANNE_CONFIG>
EOF
  }
  config POSTGRESQL "$CORVANNE_TEST_PG_HOST:$CORVANNE_TEST_PG_PORT" >"$work/$name-pg.xml"
  config ODBC BenchPgTx >"$work/$name-odbc.xml"
  "$corvanne" --list --config "$work/$name-pg.xml" >"$work/$name.list"
  {
    echo 'SET synchronous_commit = off;'
    serial=0
    while IFS= read -r file; do
      serial=$((serial + 1))
      [ -s "$file" ] || continue
      marker="<TASK_NAME>EXPORT_TEXT_LINE_TO_SQL_TABLE</TASK_NAME><BATCH_CODE>4242__7_12_2026_11_06_58_AM</BATCH_CODE><FILE_TYPE>${file##*.}</FILE_TYPE><USER_NAME>CORVANNE</USER_NAME><FILE_SERIAL_NUMBER>$serial</FILE_SERIAL_NUMBER><DATE_TIME>7/12/2026 11:06:58 AM</DATE_TIME><FILE_NAME>${file^^}</FILE_NAME>"
      echo "INSERT INTO bench_session (MyCodeLine) VALUES ('<TASK_STATUS>BEGINS</TASK_STATUS>$marker');"
      echo "\\copy bench_session (MyCodeLine) FROM '$file' $copy_options"
      echo "INSERT INTO bench_session (MyCodeLine) VALUES ('<TASK_STATUS>DONE</TASK_STATUS>$marker');"
    done <"$work/$name.list"
  } >"$work/$name.sql"
  session() {
    psql_run -c 'TRUNCATE bench_session'
    checkpoint
    local start
    start=$(now)
    psql_run -f "$work/$name.sql"
    echo "$(now) - $start" | bc -l
  }
  first_s=$(session)
  session_rows=$(psql_run -At -c 'SELECT count(*) FROM bench_session')
  runs=()
  for engine in pg odbc; do
    psql_run -c 'TRUNCATE bench_run'
    checkpoint
    start=$(now)
    /usr/bin/time -f '%U %S' -o "$work/time" "$corvanne" --config "$work/$name-$engine.xml" 2>"$work/$name.err" || {
      echo "corvanne ($engine) failed:" >&2
      head -20 "$work/$name.err" >&2
      exit 1
    }
    run_s=$(echo "$(now) - $start" | bc -l)
    cpu_s=$(awk '{ print $1 + $2 }' "$work/time")
    read -r rows markers <<<"$(psql_run -At -F ' ' -c \
      "SELECT count(*), count(*) FILTER (WHERE MyCodeLine LIKE '<TASK_STATUS>%') FROM bench_run")"
    if [ "$rows" != "$session_rows" ]; then
      echo "$name: corvanne ($engine) left $rows rows, the psql session $session_rows" >&2
      exit 1
    fi
    runs+=("$engine $((markers / 2)) $((rows - markers)) $run_s $cpu_s")
  done
  again_s=$(session)
  session_s=$(echo "if ($again_s < $first_s) $again_s else $first_s" | bc -l)
  for run in "${runs[@]}"; do
    read -r engine files lines run_s cpu_s <<<"$run"
    awk -v c="$name" -v e="$engine" -v f="$files" -v l="$lines" -v r="$run_s" -v u="$cpu_s" -v s="$session_s" \
      -v a="$aim" 'BEGIN { printf "%-6s %-10s %6d %9d %8.2f %8.2f %7.2f %5.2fx %4.2fx\n", c, e, f, l, r, u, s, r / s, a }'
  done
  printf '%-6s psql session: %.2f s before corvanne, %.2f s after\n' "$name" "$first_s" "$again_s"
done
psql_run -c 'DROP TABLE bench_run' -c 'DROP TABLE bench_session'
