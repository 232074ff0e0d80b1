# Database servers for the tests: two private PostgreSQL instances on
# 127.0.0.1 and the ODBC drivers registered in a private ODBCSYSINI.
# Source this file, then call start_test_servers; stop_test_servers undoes it.
#
# Exports (read by the ODBC tests and the ODBC benchmark):
#   ODBCSYSINI, ODBCINI          the private odbcinst.ini / odbc.ini
#   CORVANNE_TEST_PG_DSN         DSN of the main test database (PostgreSQL Unicode)
#   CORVANNE_TEST_PG_ANSI_DSN    the same database through the ANSI driver
#   CORVANNE_TEST_PG_HOST/PORT/DATABASE/USER/PASSWORD
#   CORVANNE_TEST_PG_BIN, CORVANNE_TEST_PG_DATA
#   CORVANNE_TEST_PG2_DSN/PORT/DATA  a second instance that tests may stop and start
#   CORVANNE_TEST_PG_CTL         runs pg_ctl as the server's owner: $CORVANNE_TEST_PG_CTL -D DATA stop
#   CORVANNE_TEST_SQLITE_DSN, CORVANNE_TEST_SQLITE_DB  a DSN on a SQLite file (SQLite3 ODBC driver)

_cts_log() { echo "test-servers: $*" >&2; }

# The newest installed PostgreSQL server binaries.
_cts_pg_bin() {
  if [ -n "${CORVANNE_PG_BIN:-}" ]; then
    echo "$CORVANNE_PG_BIN"
    return 0
  fi
  local dir
  dir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  [ -n "$dir" ] && [ -x "$dir/initdb" ] || return 1
  echo "$dir"
}

# A TCP port on 127.0.0.1 that nothing listens on, starting the search at $1.
_cts_free_port() {
  local port=$1
  while [ "$port" -lt 65000 ]; do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
    port=$((port + 1))
  done
  return 1
}

# Runs "$@" as the server owner (PostgreSQL refuses to run as root).
_cts_as_owner() {
  if [ -n "${_CTS_OWNER:-}" ]; then
    runuser -u "$_CTS_OWNER" -- "$@"
  else
    "$@"
  fi
}

# Creates and starts one instance in $1 (data folder) on a free port from $2;
# prints the port. The role and database are created by the caller.
_cts_start_instance() {
  local data=$1 first_port=$2 bin=$3 port attempt
  _cts_as_owner "$bin/initdb" -D "$data" -U corvanne_admin --auth-local=trust --auth-host=scram-sha-256 \
    -E UTF8 --locale=C.UTF-8 >"$data.initdb.log" 2>&1 || {
    _cts_log "initdb failed, see $data.initdb.log"
    return 1
  }
  for attempt in 1 2 3 4 5; do
    port=$(_cts_free_port "$first_port") || return 1
    # Settings live in the configuration file so that a plain "pg_ctl start"
    # (as the tests do after stopping it) brings it back identically.
    cat >>"$data/postgresql.conf" <<EOF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$data'
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 40
EOF
    if _cts_as_owner "$bin/pg_ctl" -D "$data" -l "$data.log" -w -t 60 start >/dev/null 2>&1; then
      echo "$port"
      return 0
    fi
    first_port=$((port + 1))
  done
  _cts_log "PostgreSQL did not start, see $data.log"
  return 1
}

# Runs SQL on an instance as the admin role, over its Unix socket.
_cts_psql() {
  local data=$1 port=$2 database=$3
  shift 3
  _cts_as_owner "$CORVANNE_TEST_PG_BIN/psql" -X -q -v ON_ERROR_STOP=1 -h "$data" -p "$port" -U corvanne_admin \
    -d "$database" "$@" >/dev/null
}

# The role, its database and grants on one instance.
_cts_create_database() {
  local data=$1 port=$2
  _cts_psql "$data" "$port" postgres \
    -c "CREATE ROLE $CORVANNE_TEST_PG_USER LOGIN PASSWORD '$CORVANNE_TEST_PG_PASSWORD'" \
    -c "CREATE DATABASE $CORVANNE_TEST_PG_DATABASE OWNER $CORVANNE_TEST_PG_USER"
}

# odbcinst.ini and odbc.ini in the private folder.
_cts_write_odbc_ini() {
  local root=$1 lib=/usr/lib/x86_64-linux-gnu/odbc
  [ -d "$lib" ] || lib=$(dirname "$(find /usr/lib -name psqlodbcw.so -print -quit 2>/dev/null)")
  cat >"$root/odbcinst.ini" <<EOF
[PostgreSQL Unicode]
Description=PostgreSQL ODBC driver (Unicode)
Driver=$lib/psqlodbcw.so

[PostgreSQL ANSI]
Description=PostgreSQL ODBC driver (ANSI)
Driver=$lib/psqlodbca.so

[SQLite3]
Description=SQLite3 ODBC driver
Driver=$lib/libsqlite3odbc.so

[FreeTDS]
Description=FreeTDS (SQL Server)
Driver=$lib/libtdsodbc.so
EOF
  # The PostgreSQL DSNs carry no login: the tests pass UID/PWD, as the
  # program does. Server-side prepare lets a parameter array go as one
  # pipelined batch.
  local common="Servername=127.0.0.1
Database=$CORVANNE_TEST_PG_DATABASE
UseServerSidePrepare=1
UseDeclareFetch=0
Protocol=7.4
SSLMode=disable"
  cat >"$root/odbc.ini" <<EOF
[CorvannePg]
Driver=PostgreSQL Unicode
Port=$CORVANNE_TEST_PG_PORT
$common

[CorvannePgAnsi]
Driver=PostgreSQL ANSI
Port=$CORVANNE_TEST_PG_PORT
$common

[CorvannePg2]
Driver=PostgreSQL Unicode
Port=$CORVANNE_TEST_PG2_PORT
$common

[CorvanneSqlite]
Driver=SQLite3
Database=$CORVANNE_TEST_SQLITE_DB
Timeout=60000
EOF
}

# Starts both PostgreSQL instances and registers the drivers and DSNs.
start_test_servers() {
  local bin root owner
  bin=$(_cts_pg_bin) || {
    _cts_log "no PostgreSQL server binaries found under /usr/lib/postgresql"
    return 1
  }
  root=$(mktemp -d "${TMPDIR:-/tmp}/corvanne-servers.XXXXXX") || return 1
  chmod 755 "$root"
  export CORVANNE_TEST_SERVERS_ROOT=$root
  _CTS_OWNER=
  if [ "$(id -u)" = 0 ]; then
    owner=corvanne-test
    if ! id "$owner" >/dev/null 2>&1; then
      useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$owner" || return 1
    fi
    _CTS_OWNER=$owner
    chown "$owner" "$root"
  fi
  export CORVANNE_TEST_PG_BIN=$bin
  export CORVANNE_TEST_PG_HOST=127.0.0.1
  export CORVANNE_TEST_PG_USER=corvanne
  export CORVANNE_TEST_PG_DATABASE=corvanne_test
  # Characters that must be braced in a connection string, on purpose.
  export CORVANNE_TEST_PG_PASSWORD="Pw;x{y}1-$(od -An -N4 -tx4 /dev/urandom | tr -d ' ')"

  export CORVANNE_TEST_PG_DATA=$root/pg1
  export CORVANNE_TEST_PG_PORT
  CORVANNE_TEST_PG_PORT=$(_cts_start_instance "$CORVANNE_TEST_PG_DATA" 25432 "$bin") || return 1
  export CORVANNE_TEST_PG2_DATA=$root/pg2
  export CORVANNE_TEST_PG2_PORT
  CORVANNE_TEST_PG2_PORT=$(_cts_start_instance "$CORVANNE_TEST_PG2_DATA" $((CORVANNE_TEST_PG_PORT + 1)) "$bin") || return 1
  _cts_create_database "$CORVANNE_TEST_PG_DATA" "$CORVANNE_TEST_PG_PORT" || return 1
  _cts_create_database "$CORVANNE_TEST_PG2_DATA" "$CORVANNE_TEST_PG2_PORT" || return 1

  cat >"$root/pg_ctl" <<EOF
#!/bin/sh
# pg_ctl as the owner of the test instances.
if [ -n "$_CTS_OWNER" ]; then exec runuser -u "$_CTS_OWNER" -- "$bin/pg_ctl" "\$@"; fi
exec "$bin/pg_ctl" "\$@"
EOF
  chmod 755 "$root/pg_ctl"
  export CORVANNE_TEST_PG_CTL=$root/pg_ctl

  export CORVANNE_TEST_SQLITE_DB=$root/sqlite-odbc.db
  export CORVANNE_TEST_SQLITE_DSN=CorvanneSqlite
  export CORVANNE_TEST_PG_DSN=CorvannePg
  export CORVANNE_TEST_PG_ANSI_DSN=CorvannePgAnsi
  export CORVANNE_TEST_PG2_DSN=CorvannePg2
  _cts_write_odbc_ini "$root"
  export ODBCSYSINI=$root
  export ODBCINI=$root/odbc.ini
  _cts_log "PostgreSQL on 127.0.0.1:$CORVANNE_TEST_PG_PORT and :$CORVANNE_TEST_PG2_PORT, ODBCSYSINI=$root"
}

# Stops what start_test_servers started and removes its folders. Safe to call
# more than once, or without a start.
stop_test_servers() {
  local root=${CORVANNE_TEST_SERVERS_ROOT:-} data
  [ -n "$root" ] && [ -d "$root" ] || return 0
  # Also when called from a shell other than the one that started them.
  if [ "$(id -u)" = 0 ] && [ -z "${_CTS_OWNER:-}" ]; then
    _CTS_OWNER=$(stat -c %U "$root")
    [ "$_CTS_OWNER" != root ] || _CTS_OWNER=
  fi
  for data in "$root/pg1" "$root/pg2"; do
    if [ -f "$data/postmaster.pid" ]; then
      _cts_as_owner "${CORVANNE_TEST_PG_BIN:-$(_cts_pg_bin)}/pg_ctl" -D "$data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
  done
  rm -rf "$root"
  unset CORVANNE_TEST_SERVERS_ROOT ODBCSYSINI ODBCINI CORVANNE_TEST_PG_DSN CORVANNE_TEST_PG_ANSI_DSN \
    CORVANNE_TEST_PG2_DSN CORVANNE_TEST_PG_DATA CORVANNE_TEST_PG2_DATA CORVANNE_TEST_PG_PORT \
    CORVANNE_TEST_PG2_PORT CORVANNE_TEST_PG_CTL CORVANNE_TEST_SQLITE_DSN CORVANNE_TEST_SQLITE_DB
  return 0
}
