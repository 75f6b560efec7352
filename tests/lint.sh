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
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

build=${1:-build}
failed=()

note() { printf '\n== %s\n' "$*"; }

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

note "clang-format on ${#sources[@]} files"
if clang-format --dry-run -Werror "${sources[@]}"; then
  echo "formatted"
else
  failed+=(clang-format)
fi

note "clang-tidy"
if ! cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON > /dev/null; then
  failed+=("cmake configure")
else
  # The translation units of the build that belong to this repository.
  root=$(pwd -P)
  units=()
  while IFS= read -r file; do
    case $file in
      "$root"/*) [ -f "$file" ] && units+=("$file") ;;
    esac
  done < <(sed -n 's/^ *"file": *"\(.*\)",\{0,1\}$/\1/p' "$build/compile_commands.json" | sort -u)
  if [ ${#units[@]} -eq 0 ]; then
    echo "lint: no source files in $build/compile_commands.json" >&2
    failed+=(clang-tidy)
  # Two at a time: one file is a few seconds of analysis.
  elif printf '%s\0' "${units[@]}" |
    xargs -0 -n 4 -P 2 clang-tidy --quiet -p "$build" --warnings-as-errors='*'; then
    echo "${#units[@]} files: no findings"
  else
    failed+=(clang-tidy)
  fi
fi

note "manual page ostrel.1"
if ! man_out=$(groff -man -ww -z ostrel.1 2>&1) || [ -n "$man_out" ]; then
  printf '%s\n' "$man_out"
  failed+=("groff -man -ww")
else
  echo "groff -man -ww: no warnings"
fi
if command -v mandoc > /dev/null; then
  if ! man_out=$(mandoc -T lint ostrel.1 2>&1) || [ -n "$man_out" ]; then
    printf '%s\n' "$man_out"
    failed+=("mandoc -T lint")
  else
    echo "mandoc -T lint: no messages"
  fi
else
  echo "mandoc not installed: groff's check only"
fi

echo
if [ ${#failed[@]} -gt 0 ]; then
  echo "lint: FAILED: ${failed[*]}"
  exit 1
fi
echo "lint: all checks passed"
