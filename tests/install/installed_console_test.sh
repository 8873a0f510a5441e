#!/usr/bin/env bash
# installed_console_test.sh BUILD_DIR
# The installed console, offscreen with a scratch HOME and no database beside
# it: the first start copies the template into the user's data folder, a
# later start keeps an existing database untouched, and --scene-db with a
# missing file is reported and creates nothing.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch/runtime HOME=$scratch/home
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir "$HOME"
unset XDG_DATA_HOME

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# start LOG [ARG...]: runs the installed console until it has said which
# database it opens (or for 20 s at most), then ends it.
start() {
  local log=$1
  shift
  (cd "$scratch" && exec "$prefix/bin/veltra" "$@" 2>"$log" >/dev/null) &
  local pid=$! tries=0
  until grep -q "veltra: scene database \|veltra: Can not find database " "$log" 2>/dev/null; do
    kill -0 "$pid" 2>/dev/null || break
    [ $((tries += 1)) -le 200 ] || break
    sleep 0.1
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# First start, XDG_DATA_HOME unset: ~/.local/share/veltra/Veltra.mdb.
user_db=$HOME/.local/share/veltra/Veltra.mdb
start "$scratch/first.log"
grep -qx "veltra: scene database $user_db" "$scratch/first.log" || fail "first start: $(cat "$scratch/first.log")"
cmp -s "$user_db" "$prefix/share/veltra/Veltra.mdb" || fail "the user database is not a copy of the template"
[ "$(stat -c %a "$(dirname "$user_db")")" = 700 ] || fail "the data folder is not private"
[ ! -e "$prefix/bin/Veltra.mdb" ] || fail "a database was put beside the installed program"

# XDG_DATA_HOME names the data folder; an existing database there is kept.
export XDG_DATA_HOME=$scratch/data
kept=$XDG_DATA_HOME/veltra/Veltra.mdb
mkdir -p "$(dirname "$kept")"
{ cat "$prefix/share/veltra/schema.sql"; echo 'CREATE TABLE "Site notes" ("Text" TEXT);'; } >"$scratch/schema.sql"
"$prefix/bin/veltra-makedb" "$scratch/schema.sql" "$kept" >/dev/null
cp "$kept" "$scratch/before.mdb"
! cmp -s "$kept" "$prefix/share/veltra/Veltra.mdb" || fail "the kept database cannot be told from the template"
start "$scratch/second.log"
grep -qx "veltra: scene database $kept" "$scratch/second.log" || fail "second start: $(cat "$scratch/second.log")"
grep -q "created" "$scratch/second.log" && fail "second start created a database: $(cat "$scratch/second.log")"
cmp -s "$kept" "$scratch/before.mdb" || fail "the existing database was changed"

# --scene-db with a missing file.
missing=$scratch/missing.mdb
start "$scratch/missing.log" --scene-db "$missing"
grep -qx "veltra: Can not find database $missing" "$scratch/missing.log" ||
  fail "--scene-db missing: $(cat "$scratch/missing.log")"
[ ! -e "$missing" ] || fail "--scene-db created the missing file"

# The options without a display of their own.
"$prefix/bin/veltra" --help | grep -q -- "--scene-db <PATH>" || fail "--help does not list --scene-db"

[ "$failures" -eq 0 ] || exit 1
echo "installed console OK"
