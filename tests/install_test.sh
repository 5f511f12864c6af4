#!/usr/bin/env bash
# Installs into a scratch prefix and checks what lands there: the program runs, the manual page
# is in place and formats without a single warning, and the completion and licence are there.
# Usage: install_test.sh BUILD_DIR [CMAKE]   (the cmake that configured the build)
set -euo pipefail
build=$1
cmake=${2:-cmake}
prefix=$(mktemp -d) || exit 1
trap 'rm -rf "$prefix"' EXIT

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/tonegen" || { echo "FAIL: bin/tonegen missing"; exit 1; }
page="$prefix/share/man/man1/tonegen.1.gz"
test -f "$page" || { echo "FAIL: share/man/man1/tonegen.1.gz missing"; exit 1; }
for file in share/bash-completion/completions/tonegen share/doc/tonegen/copyright; do
  test -f "$prefix/$file" || { echo "FAIL: $file missing"; exit 1; }
done

status=0
# Quoted: a bare -? is a pattern, which a two-character file name here would replace.
"$prefix/bin/tonegen" '-?' >"$prefix/usage.txt" || status=$?
test "$status" -eq 255 || { echo "FAIL: '-?' ended with $status"; exit 1; }
grep -q '^Wave generator options:$' "$prefix/usage.txt" || { echo "FAIL: no option menu"; exit 1; }

warnings=$(zcat "$page" | groff -man -ww -z 2>&1)
test -z "$warnings" || { echo "FAIL: groff warnings:"; echo "$warnings"; exit 1; }
echo "install check: ok"
