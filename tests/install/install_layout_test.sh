#!/usr/bin/env bash
# install_layout_test.sh BUILD_DIR PROGRAM...
# `cmake --install` into a scratch prefix lays out every file; the desktop
# entry and the metainfo pass their validators; the manual pages render.
set -euo pipefail
build=$1
shift
. "$(dirname "$0")/expected_files.sh"
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

while read -r file; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done < <(expected_files "$@"; expected_config_files "$@")
# The bridge's service: of Type=notify with a watchdog, starting the
# installed program with the installed configuration, not enabled.
unit="$prefix/lib/systemd/system/veltra-bridge.service"
if [ -f "$unit" ]; then
  grep -qx "Type=notify" "$unit" || fail "veltra-bridge.service is not Type=notify"
  grep -q "^WatchdogSec=" "$unit" || fail "veltra-bridge.service has no watchdog"
  grep -qE "^ExecStart=/.*/bin/veltra-bridge --config /.*/veltra/bridge.toml$" "$unit" ||
    fail "veltra-bridge.service: $(grep ExecStart "$unit")"
  [ -z "$(find "$prefix" -path '*wants*' -name veltra-bridge.service)" ] || fail "veltra-bridge.service is enabled"
fi
for program in "$@"; do
  [ -x "$prefix/bin/$program" ] || fail "not executable: bin/$program"
  page="$prefix/share/man/man1/$program.1.gz"
  [ -f "$page" ] || continue
  # Rendered with every groff warning on: none may appear.
  warnings=$(zcat "$page" | groff -man -Tutf8 -ww -z 2>&1 || true)
  [ -z "$warnings" ] || fail "$program.1: $warnings"
  # The NAME line that whatis and apropos read.
  zcat "$page" | grep -q "^$program - ." || fail "$program.1 has no NAME line for $program"
done

desktop=$prefix/share/applications/org.veltra.Veltra.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx "Exec=veltra" "$desktop" || fail "desktop entry does not start veltra"
grep -qx "Icon=org.veltra.Veltra" "$desktop" || fail "desktop entry names another icon"
# --no-net: the screenshot's address is not fetched.
appstreamcli validate --no-net "$prefix/share/metainfo/org.veltra.Veltra.metainfo.xml" >/dev/null ||
  fail "appstreamcli validate: $(appstreamcli validate --no-net "$prefix/share/metainfo/org.veltra.Veltra.metainfo.xml" 2>&1)"

[ "$failures" -eq 0 ] || exit 1
echo "installation layout OK ($*)"
