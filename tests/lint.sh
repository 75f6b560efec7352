#!/usr/bin/env bash
# Source and manual page checks; exits non-zero when any of them finds a
# problem, after running all of them.
#
#   tests/lint.sh [BUILD_DIR]     (default: build)
#
#  1. clang-format --dry-run -Werror on every *.cc and *.h in the repository
#     (.clang-format);
#  2. clang-tidy with .clang-tidy on every source file the build compiles,
#     warnings as errors; the build folder is configured with
#     CMAKE_EXPORT_COMPILE_COMMANDS=ON for it (nothing is built);
#  3. the manual page: groff -man -ww -z must print nothing, and mandoc -T lint
#     too where mandoc is installed (Debian package mandoc).
#
# A clean run prints one line, its verdict. A check that fails prints its
# name and what it found, and the verdict names every check that failed.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

build=${1:-build}
failed=()
log=$(mktemp) || exit 1
trap 'rm -f "$log"' EXIT

# check NAME COMMAND...: runs the command with its output held back, and
# shows that output under the check's name only when the command fails.
# clang-tidy's counts of the warnings it hid ("N warnings generated.") are
# left out: they are not findings.
check() {
  local name=$1
  shift
  "$@" > "$log" 2>&1 && return 0
  failed+=("$name")
  printf '== %s failed:\n' "$name"
  grep -Ev '^[0-9]+ warnings? generated\.$' "$log"
  echo
  return 1
}

# silent COMMAND...: fails when the command fails or prints anything.
silent() {
  local out
  out=$("$@" 2>&1)
  local status=$?
  [ -n "$out" ] && printf '%s\n' "$out"
  [ $status -eq 0 ] && [ -z "$out" ]
}

# Tracked files, and new ones not yet committed (but not ignored ones), that
# still exist in the work tree.
sources=()
while IFS= read -r file; do
  [ -f "$file" ] && sources+=("$file")
done < <(git ls-files --cached --others --exclude-standard -- '*.cc' '*.h' | sort -u)
if [ ${#sources[@]} -eq 0 ]; then
  echo "lint: no *.cc or *.h files found" >&2
  exit 1
fi

check clang-format clang-format --dry-run -Werror "${sources[@]}"

# The translation units of the build that belong to this repository, each
# through clang-tidy; the build folder is configured for it, not built.
units=()
tidy() {
  cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON > /dev/null || {
    echo "lint: cmake could not configure $build"
    return 1
  }
  local root file
  root=$(pwd -P)
  while IFS= read -r file; do
    case $file in
      "$root"/*) [ -f "$file" ] && units+=("$file") ;;
    esac
  done < <(sed -n 's/^ *"file": *"\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" | sort -u)
  if [ ${#units[@]} -eq 0 ]; then
    echo "lint: no source files in $build/compile_commands.json"
    return 1
  fi
  # Two at a time: one file is a few seconds of analysis.
  printf '%s\0' "${units[@]}" |
    xargs -0 -n 4 -P 2 clang-tidy --quiet -p "$build" --warnings-as-errors='*'
}
check clang-tidy tidy

check "groff -man -ww" silent groff -man -ww -z ostrel.1
if command -v mandoc > /dev/null; then
  check "mandoc -T lint" silent mandoc -T lint ostrel.1
  manual="groff and mandoc"
else
  manual="groff only, mandoc not installed"
fi

if [ ${#failed[@]} -gt 0 ]; then
  printf -v names '%s, ' "${failed[@]}"
  echo "lint: FAILED: ${names%, }"
  exit 1
fi
echo "lint: all checks passed (clang-format: ${#sources[@]} files, clang-tidy: ${#units[@]}" \
  "files, ostrel.1: $manual)"
