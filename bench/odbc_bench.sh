#!/usr/bin/env bash
# ODBC load speed: the 4 x 1,000,000-line corpus into the local test
# PostgreSQL through the ODBC destination (several array sizes), and the
# same files with psql's \copy into a fresh table; prints lines/s and ratios.
# Usage: bench/odbc_bench.sh [SHAPE,SHAPE,...]   (default 1,100,250,500,1000,1000x4)
# SHAPE is ROWS (lines per INSERT, at most 1000) or ROWSxSETS (SETS such
# INSERTs per round trip as a parameter array). ODBC_BENCH=path runs another
# build of odbc_bench (e.g. of an older revision) on the same corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
batches=${1:-1,100,250,500,1000,1000x4}
build=${BUILD_DIR:-build}

cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target odbc_bench corpus_gen >/dev/null
bench=${ODBC_BENCH:-$build/bench/odbc_bench}

if [ -z "${CORVANNE_TEST_PG_DSN:-}" ]; then
  # shellcheck source=../scripts/lib/test-servers.sh
  . scripts/lib/test-servers.sh
  trap stop_test_servers EXIT
  start_test_servers
fi

corpus=${CORPUS_DIR:-/tmp/corvanne-corpus}
if [ ! -f "$corpus/large/src/big/huge3.bas" ]; then
  "$build/bench/corpus_gen" "$corpus" large
fi
files=("$corpus"/large/src/big/huge*.bas)
echo "corpus: ${#files[@]} files, $(cat "${files[@]}" | wc -l) lines, $(du -ch "${files[@]}" | tail -1 | cut -f1)"

export PGPASSWORD=$CORVANNE_TEST_PG_PASSWORD
psql_run() {
  psql -X -q -v ON_ERROR_STOP=1 -h "$CORVANNE_TEST_PG_HOST" -p "$CORVANNE_TEST_PG_PORT" \
    -U "$CORVANNE_TEST_PG_USER" -d "$CORVANNE_TEST_PG_DATABASE" "$@"
}
psql_run -c 'DROP TABLE IF EXISTS bench_odbc' -c 'DROP TABLE IF EXISTS bench_copy' \
  -c 'CREATE TABLE bench_odbc (LineId bigserial PRIMARY KEY, MyCodeLine text)' \
  -c 'CREATE TABLE bench_copy (LineId bigserial PRIMARY KEY, MyCodeLine text)'

# \copy as CSV with control characters as delimiter and quote, so that each
# line arrives whole, tabs and backslashes included.
start=$(date +%s.%N)
for file in "${files[@]}"; do
  psql_run -c "\\copy bench_copy (MyCodeLine) FROM '$file' WITH (FORMAT csv, DELIMITER E'\\x01', QUOTE E'\\x02')"
done
end=$(date +%s.%N)
copy_lines=$(psql_run -At -c 'SELECT count(*) FROM bench_copy')
copy_rate=$(echo "$copy_lines / ($end - $start)" | bc -l)
printf 'copy lines=%d seconds=%.2f lines_per_second=%.0f\n' "$copy_lines" "$(echo "$end - $start" | bc -l)" "$copy_rate"

"$bench" "$CORVANNE_TEST_PG_DSN" "$CORVANNE_TEST_PG_USER" "$CORVANNE_TEST_PG_PASSWORD" \
  bench_odbc "$batches" "${files[@]}" | while read -r line; do
  echo "$line"
  rate=${line##*lines_per_second=}
  printf '  \\copy is %.2fx faster\n' "$(echo "$copy_rate / $rate" | bc -l)"
done
psql_run -c 'DROP TABLE bench_odbc' -c 'DROP TABLE bench_copy'
