#!/usr/bin/env bash
# The bash completion: option names, file names after -file, nothing after a numeric option.
# Usage: completion_test.sh COMPLETION_FILE
set -uo pipefail
# shellcheck source=/dev/null
source "$1"
# Everything happens in a folder of our own; without one, stop rather than touch files elsewhere.
folder=$(mktemp -d) || exit 1
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
touch -- a1.wav a2.wav b.txt -x

failures=0
complete_line() {  # the words typed so far; the last one is being completed
  COMP_WORDS=(tonegen "$@")
  COMP_CWORD=$#
  _tonegen
  [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
expect() {  # what, then the words
  local want=$1
  shift
  local got
  got=$(complete_line "$@")
  if [ "$got" = "$want" ]; then
    echo "ok: tonegen $* -> $want"
  else
    echo "FAIL: tonegen $* -> '$got', expected '$want'"
    failures=$((failures + 1))
  fi
}
expect '-mfrq -mran ' -m
expect '--help --version -? -ch -db -file -frq -h -help -kb -mfrq -mran -res -sr ' ''
expect '--help --version ' --
expect '-file -frq ' -kb 10 -f
expect 'a1.wav a2.wav ' -file a
expect '-x a1.wav a2.wav b.txt ' -file ''
expect '' -frq ''
expect '' -kb 1
expect '' -db -
[ "$failures" -eq 0 ]
