#!/usr/bin/env bash
# Installs the build tree into a fresh temporary prefix and checks what lands
# there: exactly the command, the compressed manual page, the bash
# completion and the copyright file (so neither wavgen nor the test binaries
# are installed), the manual page as written, and an
# installed binary that runs (under RUNNER, an emulator and its options, when
# the build is for another processor).
#
#   tests/check_install.sh BUILD_DIR SOURCE_DIR [CONFIG [RUNNER...]]
set -euo pipefail

build=${1:?usage: check_install.sh BUILD_DIR SOURCE_DIR [CONFIG [RUNNER...]]}
source=${2:?usage: check_install.sh BUILD_DIR SOURCE_DIR [CONFIG [RUNNER...]]}
config=${3:-}
shift $(($# < 3 ? $# : 3))
runner=("$@")

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

fail() {
  echo "check_install: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" ${config:+--config "$config"} > /dev/null

expected=$'bin/ostrel\nshare/bash-completion/completions/ostrel\nshare/doc/ostrel/copyright\nshare/man/man1/ostrel.1.gz'
installed=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
[ "$installed" = "$expected" ] || fail "installed files differ: got"$'\n'"$installed"

[ -x "$prefix/bin/ostrel" ] || fail "bin/ostrel is not executable"
cmp -s "$source/ostrel.1" <(gzip -dc "$prefix/share/man/man1/ostrel.1.gz") ||
  fail "share/man/man1/ostrel.1.gz differs from ostrel.1"
bash -n "$prefix/share/bash-completion/completions/ostrel" || fail "the bash completion does not parse"

status=0
out=$("${runner[@]}" "$prefix/bin/ostrel" "$source/examples/swell.wav" 0 1) || status=$?
[ "$status" -eq 0 ] || fail "installed ostrel exited with status $status"
# The first and last lines are cut from the text itself: under pipefail a
# pipe into `head -n 1` fails whenever head leaves before the writer is done.
first=${out%%$'\n'*}
[ "$first" = "Ostrel 1.01" ] || fail "first line is '$first', not 'Ostrel 1.01'"
last=${out##*$'\n'}
case $last in
  "Peak over interval "*" dB") ;;
  *) fail "last line is '$last', not the peak line" ;;
esac

echo "check_install: $prefix holds the command, its manual page, completion and copyright; ostrel runs"
