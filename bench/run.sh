#!/usr/bin/env bash
# Times ostrel against `cat FILE > /dev/null` on one-hour 44.1 kHz files
# (stereo 8-bit, 16-bit, 24-bit and 32-bit integer and float; G.711 mu-law
# and A-law, mono and stereo; 64-bit float mono; 16-bit in 4 channels; RIFX
# 16-bit and 24-bit stereo), interleaving the
# runs so all commands see the same machine, and prints the median seconds,
# MB/s and the ratio to cat.
# Then the same through a pipe, the cost of a row (resolution 1 on a minute
# against the default resolution) into /dev/null, through a pipe and into a
# file, and the peak resident memory for one second and one hour.
#
#   bench/run.sh [--peers] [--cold] [--against OLD_BINARY] [BUILD_DIR] [RUNS]
#
#   --peers    also time `sox FILE -n stat` and
#              `ffmpeg -i FILE -af volumedetect -f null -` where installed
#              (Debian: apt-get install sox ffmpeg); a missing one is skipped
#   --cold     also time every command with FILE dropped from the page cache
#              before each run (posix_fadvise DONTNEED through dd; no root)
#   --against  first compare the output of OLD_BINARY with ostrel's, byte for
#              byte, on every one-hour file at resolutions default, 1 and
#              4093, and stop with status 1 on any difference (a binary
#              that did not decode 8-bit and 32-bit integer files differs on
#              u8 and s32); OLD_BINARY is then timed in the same runs as
#              ostrel and cat (column "old"), and the row costs are
#              measured for both
#
# The files are made once with the project's generator in $OSTREL_BENCH_DIR
# (default /tmp/ostrel-bench); they take about 9.6 GB.
set -euo pipefail

peers=0
cold=0
against=
while [ $# -gt 0 ]; do
  case $1 in
    --peers) peers=1 ;;
    --cold) cold=1 ;;
    --against) against=$(realpath "$2"); shift ;;
    --*) echo "unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
  shift
done
build=${1:-build}
runs=${2:-9}
ostrel=$(realpath "$build/ostrel")
wavgen=$build/wavgen
dir=${OSTREL_BENCH_DIR:-/tmp/ostrel-bench}
mkdir -p "$dir"

make_file() {  # name bits int|float|alaw|ulaw seconds [channels [more wavgen options]]
  local path=$dir/$1
  [ -s "$path" ] ||
    "$wavgen" "$path" --rate 44100 --channels "${5:-2}" --bits "$2" --format "$3" --seconds "$4" \
      --shape waves "${@:6}"
}
make_file u8.wav 8 int 3600
make_file s16.wav 16 int 3600
make_file s24.wav 24 int 3600
make_file s32.wav 32 int 3600
make_file f32.wav 32 float 3600
make_file ulaw1.wav 8 ulaw 3600 1
make_file ulaw2.wav 8 ulaw 3600
make_file alaw1.wav 8 alaw 3600 1
make_file alaw2.wav 8 alaw 3600
make_file f64.wav 64 float 3600 1
make_file s16x4.wav 16 int 3600 4
make_file rifx16.wav 16 int 3600 2 --rifx
make_file rifx24.wav 24 int 3600 2 --rifx
make_file s16-60s.wav 16 int 60
make_file s16-1s.wav 16 int 1
files=(u8 s16 s24 s32 f32 ulaw1 ulaw2 alaw1 alaw2 f64 s16x4 rifx16 rifx24)
# The layouts that builds before them refused or read wrong: not compared
# with --against.
new_files=" ulaw1 ulaw2 alaw1 alaw2 f64 s16x4 rifx16 rifx24 "

if [ -n "$against" ]; then
  for f in "${files[@]}"; do
    [[ $new_files == *" $f "* ]] && continue
    for resolution in "" 1 4093; do
      if ! cmp <("$ostrel" "$dir/$f.wav" 0 3600 $resolution) \
               <("$against" "$dir/$f.wav" 0 3600 $resolution); then
        echo "FAIL: $f.wav at resolution ${resolution:-default} differs from $against" >&2
        exit 1
      fi
    done
  done
  echo "same output as $against at resolutions default, 1, 4093 on every file but$new_files"
fi

now() { date +%s%N; }
median() { sort -n | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
drop() { dd if="$1" iflag=nocache count=0 status=none; }  # posix_fadvise(DONTNEED)

# cpu FILE: the processor time (user and system, in nanoseconds) of the
# shell's finished children, from what `times` wrote to FILE (`times` must
# run in the shell itself, not in a subshell, to see them).
cpu() {
  awk 'NR == 2 { t = 0; for (i = 1; i <= 2; i++) { split($i, p, /[ms]/); t += p[1] * 60 + p[2] }
    printf "%.0f\n", t * 1e9 }' "$1"
}

# time_runs DROP_FILE CMD...: runs every command `runs` times after one
# warm-up, taking turns, and prints the median wall-clock nanoseconds of
# each, then the median processor nanoseconds of each (which time slices
# lost to other work on a shared machine do not inflate). With a DROP_FILE,
# that file leaves the page cache before every run.
time_runs() {
  local drop_file=$1 i k t0
  shift
  for ((k = 1; k <= $#; k++)); do
    : > "$dir/$k.times"; : > "$dir/$k.cpu"; eval "${!k}" > /dev/null 2>&1
  done
  for ((i = 0; i < runs; i++)); do
    for ((k = 1; k <= $#; k++)); do
      [ -z "$drop_file" ] || drop "$drop_file"
      times > "$dir/times.before"; t0=$(now); eval "${!k}" > /dev/null 2>&1
      times > "$dir/times.after"; echo $(( $(now) - t0 )) >> "$dir/$k.times"
      echo $(( $(cpu "$dir/times.after") - $(cpu "$dir/times.before") )) >> "$dir/$k.cpu"
    done
  done
  for ((k = 1; k <= $#; k++)); do median < "$dir/$k.times"; done | tr '\n' ' '
  for ((k = 1; k <= $#; k++)); do median < "$dir/$k.cpu"; done | tr '\n' ' '
  echo
}

names=(ostrel)
commands=("'$ostrel' \"\$path\" 0 3600")
if [ -n "$against" ]; then
  names+=(old); commands+=("'$against' \"\$path\" 0 3600")
fi
if [ $peers = 1 ]; then
  if command -v sox > /dev/null; then
    names+=(sox); commands+=("sox \"\$path\" -n stat")
  else
    echo "sox not installed: skipped"
  fi
  if command -v ffmpeg > /dev/null; then
    names+=(ffmpeg); commands+=("ffmpeg -nostdin -i \"\$path\" -af volumedetect -f null -")
  else
    echo "ffmpeg not installed: skipped"
  fi
fi

# Seconds and ratio to cat of every command; `cpu` is the ratio of their
# processor times.
table() {  # DROP (0 or 1)
  local f path bytes times
  printf '%-6s %6s %8s' file MB cat_s
  for n in "${names[@]}"; do printf ' %9s %6s %6s' "${n}_s" ratio cpu; done
  printf ' %11s\n' ostrel_MB/s
  for f in "${files[@]}"; do
    path=$dir/$f.wav
    bytes=$(stat -c %s "$path")
    times=$(time_runs "$([ "$1" = 1 ] && echo "$path")" "cat \"\$path\"" "${commands[@]}")
    awk -v f="$f" -v b="$bytes" -v t="$times" 'BEGIN {
      n = split(t, s, " ") / 2
      printf "%-6s %6.0f %8.3f", f, b / 1e6, s[1] / 1e9
      for (k = 2; k <= n; k++) printf " %9.3f %6.2f %6.2f", s[k] / 1e9, s[k] / s[1], s[n + k] / s[n + 1]
      printf " %11.0f\n", b / 1e6 / (s[2] / 1e9) }'
  done
}

echo "warm page cache, medians of $runs interleaved runs:"
table 0
if [ $cold = 1 ]; then
  echo "cold: each file dropped from the page cache before every run:"
  table 1
fi

# The JSON report of the 16-bit file, with its statistics, against the text
# run and cat, where this build has --json. (grep reads the whole output
# here: one that stopped at the first match could leave the tool a closed
# pipe, which pipefail counts as the check failing.)
path=$dir/s16.wav
if "$ostrel" --json "$dir/s16-1s.wav" 0 1 2> /dev/null | grep '"rows"' > /dev/null; then
  read -r c t j cc tc jc < <(time_runs "" "cat \"\$path\"" "'$ostrel' \"\$path\" 0 3600" \
    "'$ostrel' --json \"\$path\" 0 3600")
  awk -v c="$c" -v t="$t" -v j="$j" -v cc="$cc" -v tc="$tc" -v jc="$jc" 'BEGIN {
    printf "json: ostrel --json s16.wav 0 3600: %.3f s, ratio %.2f to cat (cpu %.2f); the text run %.3f s, ratio %.2f\n",
      j / 1e9, j / c, jc / cc, t / 1e9, t / c }'
else
  echo "json: skipped, this build has no --json"
fi

# Standard input through a pipe, where this build reads it.
path=$dir/s16.wav
if "$ostrel" - 0 1 < "$dir/s16-1s.wav" 2> /dev/null | grep '^0.03' > /dev/null; then
  read -r c o cc oc < <(time_runs "" "cat \"\$path\" | cat" "cat \"\$path\" | '$ostrel' - 0 3600")
  awk -v c="$c" -v o="$o" -v cc="$cc" -v oc="$oc" 'BEGIN {
    printf "pipe: cat s16.wav | ostrel - 0 3600: %.3f s, cat s16.wav | cat: %.3f s, ratio %.2f (cpu %.2f)\n",
      o / 1e9, c / 1e9, o / c, oc / cc }'
else
  echo "pipe: skipped, this build does not read standard input (-)"
fi

# A row's cost: resolution 1 (2646000 rows) less the default resolution,
# into /dev/null, through a pipe and into a file; for the reference binary
# too, in the same interleaved runs.
binaries=("$ostrel")
[ -z "$against" ] || binaries+=("$against")
row_commands=()
for b in "${binaries[@]}"; do
  for sink in "" "| cat" "> '$dir/rows.out'"; do
    row_commands+=("'$b' \"\$dir/s16-60s.wav\" 0 60 $sink" "'$b' \"\$dir/s16-60s.wav\" 0 60 1 $sink")
  done
done
times=$(time_runs "" "${row_commands[@]}")
rm -f "$dir/rows.out"
k=0
for b in "${binaries[@]}"; do
  awk -v b="$b" -v t="$times" -v k=$k 'BEGIN {
    n = split(t, s, " ") / 2
    printf "row cost of %s: %.1f ns into /dev/null, %.1f ns through a pipe, %.1f ns into a file;", b,
      (s[k + 2] - s[k + 1]) / 2646000, (s[k + 4] - s[k + 3]) / 2646000, (s[k + 6] - s[k + 5]) / 2646000
    k += n
    printf " processor time %.1f, %.1f, %.1f ns\n",
      (s[k + 2] - s[k + 1]) / 2646000, (s[k + 4] - s[k + 3]) / 2646000, (s[k + 6] - s[k + 5]) / 2646000 }'
  k=$((k + 6))
done

rss() { /usr/bin/time -f %M "$ostrel" "$@" 2>&1 > /dev/null | tail -n 1; }
echo "peak resident memory: $(rss "$dir/s16-1s.wav" 0 1) KiB for 1 s, $(rss "$dir/s16.wav" 0 3600) KiB for 1 hour"
