#!/usr/bin/env bash
# package_contents_test.sh DEB PROGRAM...
# The package's file list holds every file of an installation under /usr,
# and nothing from the build or the tests.
set -euo pipefail
deb=$1
shift
. "$(dirname "$0")/expected_files.sh"
listing=$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./||')
failures=0
while read -r file; do
  grep -qxF "usr/$file" <<<"$listing" || { echo "FAIL: not in the package: /usr/$file"; failures=$((failures + 1)); }
done < <(expected_files "$@")
# Configuration goes to /etc, and the package leaves it to the administrator.
while read -r file; do
  grep -qxF "$file" <<<"$listing" || { echo "FAIL: not in the package: /$file"; failures=$((failures + 1)); }
  dpkg-deb -I "$deb" conffiles 2>/dev/null | grep -qxF "/$file" ||
    { echo "FAIL: not a conffile: /$file"; failures=$((failures + 1)); }
done < <(expected_config_files "$@")
if grep -E '(_test|_bench|\.a)$|/build|Testing/' <<<"$listing"; then
  echo "FAIL: build or test files in the package"
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] || exit 1
echo "package contents OK ($(grep -c . <<<"$listing") entries)"
