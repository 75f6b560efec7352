#!/usr/bin/env bash
# Fuzzes the whole program for SECONDS seconds with libFuzzer, under ASan and
# UBSan, and prints the executions, the coverage and any crash files.
#
#   fuzz/run.sh SECONDS [BUILD_DIR]
#
# BUILD_DIR (default build-fuzz) gets a clang build of the fuzz target only.
# Everything the run makes goes to $OSTREL_FUZZ_DIR (default /tmp/ostrel-fuzz):
#   seeds/      the seed corpus, made afresh each time by ostrel_fuzz_seeds
#   corpus/     the inputs the fuzzer found worth keeping; kept between runs
#   artifacts/  crash-*, leak-*, timeout-* and oom-* files, one per finding,
#               and long-row-* inputs: runs cut short at a row of more than
#               OSTREL_FUZZ_ROW_LIMIT bytes (see fuzz/ostrel_fuzz.cc)
#   fuzz.log    the fuzzer's own output
# The fuzzer runs in fork mode: a finding is saved and the run goes on.
# OSTREL_FUZZ_WORKERS (default 1, at most 2 on a 2-core machine) sets the
# number of fuzzing processes; OSTREL_FUZZ_TIMEOUT (default 3) the seconds
# after which a single input counts as hanging. Replay a finding with
#   OSTREL_FUZZ_SHOW_OUTPUT=1 BUILD_DIR/fuzz/ostrel_fuzz FILE
set -euo pipefail

seconds=${1:?usage: fuzz/run.sh SECONDS [BUILD_DIR]}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-fuzz}
out=${OSTREL_FUZZ_DIR:-/tmp/ostrel-fuzz}
workers=${OSTREL_FUZZ_WORKERS:-1}
timeout=${OSTREL_FUZZ_TIMEOUT:-3}

mkdir -p "$out/corpus" "$out/artifacts"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DOSTREL_FUZZ=ON \
  -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$out/cmake.log" 2>&1 ||
  { cat "$out/cmake.log"; exit 1; }
cmake --build "$build" --target ostrel_fuzz ostrel_fuzz_seeds -j "$workers" > "$out/build.log" 2>&1 ||
  { cat "$out/build.log"; exit 1; }

rm -rf "$out/seeds"
"$build/fuzz/ostrel_fuzz_seeds" "$out/seeds"

# The scratch files of the fuzzing processes live in a folder of this run's
# own, removed at the end even when a process was killed.
scratch=$(mktemp -d "${TMPDIR:-/dev/shm}/ostrel-fuzz.XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT

touch "$out/started"
echo "fuzzing for $seconds s with $workers worker(s); log in $out/fuzz.log"
status=0
OSTREL_FUZZ_SCRATCH=$scratch OSTREL_FUZZ_LONG_ROWS=$out/artifacts "$build/fuzz/ostrel_fuzz" \
  -fork="$workers" -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
  -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=4096 \
  -max_len=20000 -dict="$root/fuzz/wav.dict" \
  -artifact_prefix="$out/artifacts/" \
  "$out/corpus" "$out/seeds" > "$out/fuzz.log" 2>&1 || status=$?

# Fork mode prints a line per job: "#EXECS: cov: C ft: F corp: N exec/s R
# oom/timeout/crash: O/T/X time: Ss job: J ...", R being that job's own rate.
last=$(grep -E '^#[0-9]+: cov:' "$out/fuzz.log" | tail -n 1 || true)
if [ -z "$last" ]; then
  echo "the fuzzer printed no statistics (status $status); the end of its log:"
  tail -n 30 "$out/fuzz.log"
  exit 1
fi
echo "$last" | awk '{
  for (i = 1; i < NF; i++) v[$i] = $(i + 1)
  execs = substr($1, 2, length($1) - 2)
  seconds = v["time:"] + 0
  printf "executions: %s in %d s, %.0f exec/s\n", execs, seconds, seconds ? execs / seconds : 0
  printf "coverage: cov %s, ft %s; corpus %s inputs\n", v["cov:"], v["ft:"], v["corp:"]
  printf "oom/timeout/crash: %s\n", v["oom/timeout/crash:"]
}'
findings=$(find "$out/artifacts" -type f -newer "$out/started" | sort)
if [ -n "$findings" ]; then
  echo "finding files of this run:"
  echo "$findings"
else
  echo "finding files of this run: none"
fi
