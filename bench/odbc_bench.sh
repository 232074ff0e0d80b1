#!/usr/bin/env bash
# ODBC load speed into a private PostgreSQL whose commits reach the disk: the
# script starts its own instances (scripts/lib/test-servers.sh) and turns
# fsync, synchronous_commit and full_page_writes back on, which the test
# servers run without.
#  1. Many files: whole unattended runs of corvanne (ODBC engine, marker rows
#     on) over the 20,000-file corpus and the real-shape tree of about 5,000
#     files, against one psql session that, per file, inserts a BEGINS row,
#     \copy-s the file and inserts a DONE row, after SET synchronous_commit =
#     off. Aim: within 1.2x of that session. Corvanne runs twice: through the
#     DSN as scripts/test registers it (Protocol=7.4: the driver wraps each
#     statement of a transaction in a savepoint of its own, two round trips
#     per file) and through a copy with Protocol=7.4-1 (on an error the
#     driver rolls the transaction back, which Corvanne handles alike).
#  2. Large files: the 4 x 1,000,000-line corpus through the ODBC destination
#     (odbc_bench, one run per insert shape), against psql \copy of the same
#     files. Aim: within 1.5x.
# Prints seconds, lines/s and ratios; one run each, so figures on a busy
# machine are noisy.
# Usage: bench/odbc_bench.sh [SHAPE,SHAPE,...]   (default 500, the destination's own)
# SHAPE is ROWS (lines per INSERT, at most 1000) or ROWSxSETS (SETS such
# INSERTs per round trip as a parameter array). ODBC_BENCH=path runs another
# build of odbc_bench, CORVANNE=path another corvanne (e.g. of an older
# revision) on the same corpora. CORPUS_DIR keeps the corpora between runs.
set -euo pipefail
cd "$(dirname "$0")/.."
batches=${1:-500}
build=${BUILD_DIR:-build}

cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target corvanne odbc_bench corpus_gen >/dev/null
bench=${ODBC_BENCH:-$build/bench/odbc_bench}
corvanne=${CORVANNE:-$build/corvanne}

# Always private servers: the settings below must not reach anyone else's.
# shellcheck source=../scripts/lib/test-servers.sh
. scripts/lib/test-servers.sh
trap stop_test_servers EXIT
start_test_servers
_cts_psql "$CORVANNE_TEST_PG_DATA" "$CORVANNE_TEST_PG_PORT" postgres \
  -c 'ALTER SYSTEM SET fsync = on' -c 'ALTER SYSTEM SET synchronous_commit = on' \
  -c 'ALTER SYSTEM SET full_page_writes = on' -c 'SELECT pg_reload_conf()'

export PGPASSWORD=$CORVANNE_TEST_PG_PASSWORD PGOPTIONS='-c client_min_messages=warning'
psql_run() {
  psql -X -q -v ON_ERROR_STOP=1 -h "$CORVANNE_TEST_PG_HOST" -p "$CORVANNE_TEST_PG_PORT" \
    -U "$CORVANNE_TEST_PG_USER" -d "$CORVANNE_TEST_PG_DATABASE" "$@"
}
# The same data source, without the driver's savepoint around each statement.
section=$(sed -n "/^\[$CORVANNE_TEST_PG_DSN\]/,/^\$/p" "$ODBCINI")
printf '\n%s\n' "$section" | sed "s/^\[.*\]/[BenchPgTx]/; s/^Protocol=.*/Protocol=7.4-1/" >>"$ODBCINI"
sleep 1  # the reload reaches every backend
echo "server: PostgreSQL $(psql_run -At -c 'SHOW server_version'), fsync=$(psql_run -At -c 'SHOW fsync')," \
  "synchronous_commit=$(psql_run -At -c 'SHOW synchronous_commit'), full_page_writes=$(psql_run -At -c 'SHOW full_page_writes')," \
  "data in $(df -T "$CORVANNE_TEST_PG_DATA" | awk 'NR == 2 { print $2 }')"

corpus=${CORPUS_DIR:-/tmp/corvanne-corpus}
for name in small real large; do
  [ -f "$corpus/$name/MyConfig.xml" ] || "$build/bench/corpus_gen" "$corpus" "$name"
done
work=$(mktemp -d "${TMPDIR:-/tmp}/corvanne-odbc-bench.XXXXXX")
trap 'stop_test_servers; rm -rf "$work"' EXIT
now() { date +%s.%N; }
copy_options="WITH (FORMAT csv, DELIMITER E'\\x01', QUOTE E'\\x02')"
table_sql='(LineId bigserial PRIMARY KEY, MyCodeLine text)'

# --- 1. Many files, with marker rows --------------------------------------
printf '%-6s %-10s %6s %8s %10s %7s %8s %6s %5s\n' corpus dsn files lines corvanne_s psql_s files/s ratio aim
for name in small real; do
  psql_run -c 'DROP TABLE IF EXISTS bench_run' -c 'DROP TABLE IF EXISTS bench_session' \
    -c "CREATE TABLE bench_run $table_sql" -c "CREATE TABLE bench_session $table_sql"
  cat >"$work/$name.xml" <<EOF
<CORVANNE_CONFIG>
<DESTINATION_ENGINE>ODBC</DESTINATION_ENGINE>
<SQL_SERVER_NAME>@DSN@</SQL_SERVER_NAME>
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
  # The session a user would script: the same files in the same order
  # (empty ones passed over), a marker row of the same shape before and after.
  "$corvanne" --list --config "$work/$name.xml" >"$work/$name.list"
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

  # The session runs before and after corvanne, and the faster one counts:
  # the server's checkpoints and a busy machine make single runs swing.
  session() {
    psql_run -c 'TRUNCATE bench_session'
    local start
    start=$(now)
    psql_run -f "$work/$name.sql"
    echo "$(now) - $start" | bc -l
  }
  first_s=$(session)
  session_rows=$(psql_run -At -c 'SELECT count(*) FROM bench_session')

  runs=()
  for dsn in "$CORVANNE_TEST_PG_DSN" BenchPgTx; do
    psql_run -c 'TRUNCATE bench_run'
    sed "s/@DSN@/$dsn/" "$work/$name.xml" >"$work/$name-$dsn.xml"
    start=$(now)
    "$corvanne" --config "$work/$name-$dsn.xml" 2>"$work/$name.err" || {
      echo "corvanne failed:" >&2
      head -20 "$work/$name.err" >&2
      exit 1
    }
    run_s=$(echo "$(now) - $start" | bc -l)
    read -r rows markers <<<"$(psql_run -At -F ' ' -c \
      "SELECT count(*), count(*) FILTER (WHERE MyCodeLine LIKE '<TASK_STATUS>%') FROM bench_run")"
    if [ "$rows" != "$session_rows" ]; then
      echo "$name: corvanne left $rows rows, the psql session $session_rows" >&2
      exit 1
    fi
    runs+=("$dsn $((markers / 2)) $((rows - markers)) $run_s")
  done
  again_s=$(session)
  session_s=$(echo "if ($again_s < $first_s) $again_s else $first_s" | bc -l)
  for run in "${runs[@]}"; do
    read -r dsn files lines run_s <<<"$run"
    awk -v c="$name" -v d="$dsn" -v f="$files" -v l="$lines" -v r="$run_s" -v s="$session_s" 'BEGIN {
      printf "%-6s %-10s %6d %8d %10.2f %7.2f %8.0f %5.2fx %4.1fx\n", c, d, f, l, r, s, f / r, r / s, 1.2 }'
  done
  printf '%-6s psql session: %.2f s before corvanne, %.2f s after\n' "$name" "$first_s" "$again_s"
done
psql_run -c 'DROP TABLE bench_run' -c 'DROP TABLE bench_session'

# --- 2. Large files, no marker rows ----------------------------------------
files=("$corpus"/large/src/big/huge*.bas)
echo "large: ${#files[@]} files, $(cat "${files[@]}" | wc -l) lines, $(du -ch "${files[@]}" | tail -1 | cut -f1)"
psql_run -c 'DROP TABLE IF EXISTS bench_odbc' -c 'DROP TABLE IF EXISTS bench_copy' \
  -c "CREATE TABLE bench_odbc $table_sql" -c "CREATE TABLE bench_copy $table_sql"

# \copy as CSV with control characters as delimiter and quote, so that each
# line arrives whole, tabs and backslashes included.
start=$(now)
for file in "${files[@]}"; do
  psql_run -c "\\copy bench_copy (MyCodeLine) FROM '$file' $copy_options"
done
end=$(now)
copy_lines=$(psql_run -At -c 'SELECT count(*) FROM bench_copy')
copy_rate=$(echo "$copy_lines / ($end - $start)" | bc -l)
printf 'copy lines=%d seconds=%.2f lines_per_second=%.0f\n' "$copy_lines" "$(echo "$end - $start" | bc -l)" "$copy_rate"

"$bench" "$CORVANNE_TEST_PG_DSN" "$CORVANNE_TEST_PG_USER" "$CORVANNE_TEST_PG_PASSWORD" \
  bench_odbc "$batches" "${files[@]}" | while read -r line; do
  echo "$line"
  rate=${line##*lines_per_second=}
  printf '  \\copy is %.2fx faster (aim: at most 1.5x)\n' "$(echo "$copy_rate / $rate" | bc -l)"
done
psql_run -c 'DROP TABLE bench_odbc' -c 'DROP TABLE bench_copy'
