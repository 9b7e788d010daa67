#!/usr/bin/env bash
# The production driver as a branch's IT meets it: `varid --check` against a stand-in for
# SQL Server's front door (tds_peer.py), through QODBC, unixODBC and Debian's FreeTDS, with
# FreeTDS's own log (TDSDUMP). A server given by address alone is reached on port 1433, a
# given port as given, an instance through the browser service; a password holding "}" and
# ";" arrives as that one value.
#   test_freetds.sh VARID_BIN
set -uo pipefail
varid="$1"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if ! odbcinst -q -d 2>/dev/null | grep -q '^\[FreeTDS\]'; then
  echo "SKIP: the FreeTDS ODBC driver is not registered (scripts/setup installs tdsodbc)"; exit 0
fi
free() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port=$(free)
# A branch home whose local database is an embedded file and whose main one is SQL Server.
mkdir -p "$work/home"

check() { # server, password, peer port, peer options..., then expectations
  local server="$1" password="$2" peerPort="$3"; shift 3
  local -a peerArgs=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do peerArgs+=("$1"); shift; done
  shift
  printf 'GLServerIP:%s\r\nServerName:srv\r\nAdminName:branch_sa\r\nAdminPass:%s\r\nInterval:30\r\nTimeOpen:9:00\r\nTimeClose:19:00\r\nStart:60\r\nGLAliasName:MainDb\r\nLocalAliasName:local.db\r\n' \
    "$server" "$password" > "$work/home/Path.ini"
  python3 "$here/tds_peer.py" --port "$peerPort" --expect-password "$password" --timeout 40 "${peerArgs[@]}" > "$work/peer.out" 2>&1 &
  local peer=$!
  for _ in $(seq 50); do grep -q listening "$work/peer.out" 2>/dev/null && break; sleep 0.1; done
  rm -f "$work/tds.log"
  TDSDUMP="$work/tds.log" timeout 60 "$varid" --check --home "$work/home" > "$work/varid.out" 2>&1
  wait "$peer"
  echo "== $server"
  grep -E "Connecting to|get_instance_port\(" "$work/tds.log" | head -2 | sed 's/^/  freetds: /'
  sed 's/^/  peer: /' "$work/peer.out"
  local want
  for want in "$@"; do
    grep -qF -- "$want" "$work/tds.log" "$work/peer.out" || fail "$server: no \"$want\""
  done
}

# The local database is an embedded file made by the demo.
"$(dirname "$varid")/varid-demo" "$work/demo" --rows 3 >/dev/null && cp "$work/demo/local.db" "$work/home/local.db"

check "127.0.0.1" 'a}b;c' 1433 -- "Connecting to 127.0.0.1 port 1433" "login name: branch_sa" "password length: 5" "password as given: yes" "database: MainDb"
check "127.0.0.1,$port" 'plain' "$port" -- "Connecting to 127.0.0.1 port $port" "password as given: yes"
check '127.0.0.1\VARIDTEST' 'x}' "$port" --browser --instance VARIDTEST -- "tds7_get_instance_port(127.0.0.1, VARIDTEST)" \
  "browser asked for instance VARIDTEST" "Connecting to 127.0.0.1 port $port" "password as given: yes"

# The driver's own words for the failures a branch's IT meets, as --check prints them: a
# login refused (18456), a missing database (4060), no server at all.
refused() { # number, message, what --check must print
  python3 "$here/tds_peer.py" --port 1433 --timeout 40 --refuse "$1" "$2" > "$work/peer.out" 2>&1 &
  local peer=$!
  for _ in $(seq 50); do grep -q listening "$work/peer.out" 2>/dev/null && break; sleep 0.1; done
  printf 'GLServerIP:127.0.0.1\r\nServerName:srv\r\nAdminName:branch_sa\r\nAdminPass:x\r\nInterval:30\r\nTimeOpen:9:00\r\nTimeClose:19:00\r\nStart:60\r\nGLAliasName:MainDb\r\nLocalAliasName:local.db\r\n' > "$work/home/Path.ini"
  timeout 60 "$varid" --check --home "$work/home" > "$work/varid.out" 2>&1
  local rc=$?
  wait "$peer"
  echo "== refused $1 (exit $rc)"; grep '^main:' "$work/varid.out" | sed 's/^/  /'
  [ "$rc" = 1 ] || fail "refused $1: exit $rc"
  grep -qF -- "$3" "$work/varid.out" || fail "refused $1: no \"$3\""
}
refused 18456 "Login failed for user 'branch_sa'." "main: [FreeTDS][SQL Server]Unable to connect to data source [FreeTDS][SQL Server]Login failed for user 'branch_sa'."
refused 4060 'Cannot open database "MainDb" requested by the login. The login failed.' '[FreeTDS][SQL Server]Cannot open database "MainDb" requested by the login.'
timeout 60 "$varid" --check --home "$work/home" > "$work/varid.out" 2>&1
echo "== no server (exit $?)"; grep '^main:' "$work/varid.out" | sed 's/^/  /'
grep -qF "Unable to connect: Adaptive Server is unavailable or does not exist" "$work/varid.out" || fail "no server: no driver message"

[ "$failures" = 0 ] && echo "test_freetds: held" || { echo "test_freetds: $failures failed"; exit 1; }
