#!/usr/bin/env bash
# Times ostrel against `cat FILE > /dev/null` on one-hour 44.1 kHz stereo
# files (16-bit, 24-bit, float) with a warm page cache, interleaving the runs
# so both see the same machine, and prints the median seconds, MB/s and the
# ratio. Then the cost of a row (resolution 1 on a minute against the
# default resolution) and the peak resident memory for one second and one
# hour.
#
#   bench/run.sh [BUILD_DIR] [RUNS]
#
# The files are made once with the project's generator in $OSTREL_BENCH_DIR
# (default /tmp/ostrel-bench); they take about 2.9 GB.
set -euo pipefail

build=${1:-build}
runs=${2:-9}
ostrel=$build/ostrel
wavgen=$build/wavgen
dir=${OSTREL_BENCH_DIR:-/tmp/ostrel-bench}
mkdir -p "$dir"

make_file() {  # name bits seconds
  local path=$dir/$1
  [ -s "$path" ] || "$wavgen" "$path" --rate 44100 --channels 2 --bits "$2" --seconds "$3" --shape waves
}
make_file s16.wav 16 3600
make_file s24.wav 24 3600
make_file f32.wav 32 3600
make_file s16-60s.wav 16 60
make_file s16-1s.wav 16 1

now() { date +%s%N; }

# Median of the numbers on standard input.
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# Runs the command `runs` times after one warm-up and prints the median
# nanoseconds of each; the two commands alternate.
time_pair() {  # cmd_a cmd_b
  local a b t0 i
  : > "$dir/a.times"
  : > "$dir/b.times"
  eval "$1" > /dev/null
  eval "$2" > /dev/null
  for ((i = 0; i < runs; i++)); do
    t0=$(now); eval "$1" > /dev/null; echo $(( $(now) - t0 )) >> "$dir/a.times"
    t0=$(now); eval "$2" > /dev/null; echo $(( $(now) - t0 )) >> "$dir/b.times"
  done
  a=$(median < "$dir/a.times")
  b=$(median < "$dir/b.times")
  echo "$a $b"
}

printf '%-8s %10s %10s %10s %10s %8s\n' file MB cat_s ostrel_s ostrel_MB/s ratio
for f in s16 s24 f32; do
  path=$dir/$f.wav
  bytes=$(stat -c %s "$path")
  read -r c o < <(time_pair "cat '$path'" "'$ostrel' '$path' 0 3600")
  awk -v f="$f" -v b="$bytes" -v c="$c" -v o="$o" 'BEGIN {
    printf "%-8s %10.0f %10.3f %10.3f %10.0f %8.2f\n", f, b / 1e6, c / 1e9, o / 1e9, b / 1e6 / (o / 1e9), o / c }'
done

read -r d r < <(time_pair "'$ostrel' '$dir/s16-60s.wav' 0 60" "'$ostrel' '$dir/s16-60s.wav' 0 60 1")
awk -v d="$d" -v r="$r" 'BEGIN { printf "row cost: %.1f ns per row (2646000 rows at resolution 1, over the default run)\n", (r - d) / 2646000 }'

rss() { /usr/bin/time -f %M "$ostrel" "$@" 2>&1 > /dev/null | tail -n 1; }
echo "peak resident memory: $(rss "$dir/s16-1s.wav" 0 1) KiB for 1 s, $(rss "$dir/s16.wav" 0 3600) KiB for 1 hour"
