#!/usr/bin/env bash
# Same bytes everywhere: builds tonegen for Windows x86-64 (run by wine), Linux aarch64 and s390x
# (big-endian) and 32-bit x86 (under qemu-user), runs each case there and runs the native x86-64
# build twice more under qemu-x86_64 with processors that make it pick its baseline and its AVX2
# vector clones, and compares every file and every printed text with the native run (Windows
# prints CRLF: read as LF). All must also match tests/tone_sums.sha256,
# so that no change moves a sample unnoticed; a deliberate change rewrites that file with
# --update-sums and says why.
#
# Usage: tests/cross_platform.sh [--unit-tests] [--update-sums]
#   --unit-tests   also run the tests that start no process under wine and qemu-aarch64 (there
#                  without the long pipeline-against-plain-loop comparison: two minutes under
#                  the emulator, and wine runs it)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
unit_tests=0
update_sums=0
for arg in "$@"; do
  case $arg in
    --unit-tests) unit_tests=1 ;;
    --update-sums) update_sums=1 ;;
    *) echo "unknown option: $arg" >&2; exit 2 ;;
  esac
done

# The tone files and wine's prefix (hundreds of megabytes) live in a scratch folder that goes
# away at the end; the prefix installs nothing (no Mono, no Gecko).
# Everything temporary (wine's server folder too) goes below it: TMPDIR points there. Wine's
# server is stopped before the folder goes.
scratch=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$scratch"' EXIT
mkdir "$scratch/tmp"
export TMPDIR="$scratch/tmp"
export WINEDEBUG=-all WINEPREFIX="$scratch/wineprefix" WINEDLLOVERRIDES="mscoree,mshtml="
# One server for the whole run: one that is shutting down when the next program starts drops
# it ("recvmsg: Connection reset by peer"), which made a unit test fail now and then. The
# prefix is made and its services started here, away from the pipes of the programs below.
mkdir "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

# name, then the options
cases=(
  "default|"
  "24bit-0db|-kb 8000 -res 3 -db 0"
  "32bit-m12.82db|-kb 8000 -res 4 -db -12.82"
  "32bit-m3.041db|-kb 8000 -res 4 -db -3.041"
  "32bit-12khz-0db|-kb 8000 -res 4 -frq 12000 -db 0"
  "32bit-lfo|-kb 8000 -res 4 -mfrq 3 -mran 37 -db -0.5"
  "32bit-48khz-at-1000|-kb 8000 -res 4 -db 0 -frq 48000 -sr 1000 -ch 1"
  "8bit-m42db|-kb 8000 -res 1 -db -42"
  "8bit-997.3hz|-kb 4000 -res 1 -ch 1 -frq 997.3"
  "8bit-lfo|-kb 8000 -res 1 -mfrq 2 -mran 50"
  "6ch-96khz-lfo|-kb 8000 -ch 6 -sr 96000 -mfrq 999"
  "48khz-at-1000-lfo|-kb 8000 -frq 48000 -sr 1000 -mfrq 1"
)

# platform, toolchain file (empty: native), runner
platforms=(
  "native||"
  "x86-64-baseline||qemu-x86_64 -cpu qemu64"
  "x86-64-avx2||qemu-x86_64 -cpu Haswell"
  "windows|x86_64-w64-mingw32|wine"
  "aarch64|aarch64-linux-gnu|qemu-aarch64 -L /usr/aarch64-linux-gnu"
  "s390x|s390x-linux-gnu|qemu-s390x -L /usr/s390x-linux-gnu"
  "i686|i686-linux-gnu|qemu-i386 -L /usr/i686-linux-gnu"
)

build() {  # folder, toolchain, with tests
  local args=(-S "$root" -B "$1" -DCMAKE_BUILD_TYPE=Release -DTONEGEN_TESTS="$3")
  [ -n "$2" ] && args+=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/$2.cmake")
  cmake "${args[@]}" >"$1.configure.log" 2>&1 || { cat "$1.configure.log"; return 1; }
  cmake --build "$1" -j2 >"$1.build.log" 2>&1 || { tail -n 40 "$1.build.log"; return 1; }
}

mkdir -p "$root/build-cross"
out=$scratch/out
mkdir -p "$out"
failures=0
for platform in "${platforms[@]}"; do
  IFS='|' read -r name toolchain runner <<<"$platform"
  folder=$root/build-cross/${toolchain:-native}
  with_tests=OFF
  [ "$unit_tests" = 1 ] && [[ $name == windows || $name == aarch64 ]] && with_tests=ON
  # The qemu-x86_64 rows run the native build again.
  [[ $name == x86-64-* ]] || { echo "== building for $name"; build "$folder" "$toolchain" "$with_tests"; }
  exe=$folder/tonegen
  [ -f "$exe.exe" ] && exe=$exe.exe
  mkdir -p "$out/$name"
  for entry in "${cases[@]}"; do
    IFS='|' read -r case options <<<"$entry"
    # shellcheck disable=SC2086 # the runner and the options are word lists
    (cd "$out/$name" && $runner "$exe" -file "$case.wav" $options 2>"$case.stderr" | tr -d '\r' >"$case.txt")
    if [ "$name" != native ]; then
      for kind in wav txt; do
        if ! cmp -s "$out/native/$case.$kind" "$out/$name/$case.$kind"; then
          echo "DIFFERS: $name $case.$kind: $(cmp "$out/native/$case.$kind" "$out/$name/$case.$kind" 2>&1 | head -n 1)"
          failures=$((failures + 1))
        fi
      done
    fi
  done
  echo "$name: ${#cases[@]} cases run"
  if [ "$with_tests" = ON ]; then
    skip=()
    [ "$name" = aarch64 ] && skip=(-E 'Synthesis\.ByteIdenticalToThePlainLoop')
    if ! ctest --test-dir "$folder" --output-on-failure -j2 "${skip[@]}" >"$folder.ctest.log" 2>&1; then
      grep -E '\*\*\*|FAILED|Failure' "$folder.ctest.log" | head -n 40
      echo "DIFFERS: unit tests on $name"
      failures=$((failures + 1))
    fi
    grep -E 'tests passed' "$folder.ctest.log"
  fi
done

sums=$root/tests/tone_sums.sha256
if [ "$update_sums" = 1 ]; then
  (cd "$out/native" && sha256sum -- *.wav *.txt) >"$sums"
  echo "rewrote $sums"
elif ! (cd "$out/native" && sha256sum --quiet -c "$sums"); then
  echo "DIFFERS: the native files from the sums in tests/tone_sums.sha256"
  failures=$((failures + 1))
fi

total=$(( (${#platforms[@]} - 1) * ${#cases[@]} * 2 + 1 + 2 * unit_tests ))
echo "platforms: $((total - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
