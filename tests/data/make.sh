#!/bin/sh
# Makes the files in this folder again with sox and ffmpeg (Debian packages
# sox and ffmpeg). The tests read the files as they are committed and need
# neither tool.
#
# Each file of a layout that other tools write (G.711, RIFX, 64-bit float,
# four channels) comes with a companion: the same audio stored by the same
# tool in a layout Ostrel already reads, decoded by that tool, not by
# Ostrel. The tests hold the two to the same output:
#   NAME.wav        a G.711 file     NAME-s16.wav   its 16-bit expansion
#   NAME.wav        a RIFX file      NAME-riff.wav  the same samples in RIFF
#   NAME.wav        64-bit float     NAME-f32.wav   each sample's nearest float
#   quad16-sox.wav  four channels    quad16-sox-ch1.wav ... -ch4.wav, each channel
#                                    alone; quad16-sox-as-mono.wav, the same
#                                    data bytes as mono at four times the rate
# Every file lasts 0.05 s at 8000 Hz: a few kilobytes.
set -eu
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# No dither anywhere (-D): every conversion is the plain one.
sox="sox -D -V1"
ffmpeg="ffmpeg -nostdin -v error -y"
# Written without the encoder's version, so that the same tool writes the same bytes.
plain="-bitexact -map_metadata -1"

# The sources: a tone swelling in and out, made at 32 bits, so that the
# 24-bit and float files use every bit they have; a second tone for stereo
# and four channels.
$sox -n -r 8000 -c 1 -b 32 -e signed "$work/tone.wav" synth 0.05 sine 440 fade q 0.02 0.05 0.02 vol 0.9
$sox -n -r 8000 -c 1 -b 32 -e signed "$work/low.wav" synth 0.05 sine 150 vol 0.3
$sox -n -r 8000 -c 1 -b 32 -e signed "$work/silence.wav" trim 0 0.05
$sox -M "$work/tone.wav" "$work/low.wav" "$work/stereo.wav"
$sox "$work/tone.wav" -b 16 "$work/tone16.wav"

# G.711: coded by each tool, then expanded to 16 bits by the same tool.
$sox "$work/tone16.wav" -e u-law ulaw-sox.wav
$sox ulaw-sox.wav -e signed -b 16 ulaw-sox-s16.wav
$sox "$work/tone16.wav" -e a-law alaw-sox.wav
$sox alaw-sox.wav -e signed -b 16 alaw-sox-s16.wav
$ffmpeg -i "$work/tone16.wav" -c:a pcm_mulaw $plain ulaw-ffmpeg.wav
$ffmpeg -i ulaw-ffmpeg.wav -c:a pcm_s16le $plain ulaw-ffmpeg-s16.wav
$ffmpeg -i "$work/tone16.wav" -c:a pcm_alaw $plain alaw-ffmpeg.wav
$ffmpeg -i alaw-ffmpeg.wav -c:a pcm_s16le $plain alaw-ffmpeg-s16.wav

# RIFX (sox -B), stereo, and the same samples written little-endian.
$sox "$work/stereo.wav" -B -b 16 rifx16-sox.wav
$sox rifx16-sox.wav -L rifx16-sox-riff.wav
$sox "$work/stereo.wav" -B -b 24 rifx24-sox.wav
$sox rifx24-sox.wav -L rifx24-sox-riff.wav

# 64-bit float, and each sample narrowed to 32-bit float by the same tool.
$sox "$work/tone.wav" -b 64 -e floating-point f64-sox.wav
$sox f64-sox.wav -b 32 -e floating-point f64-sox-f32.wav
$sox "$work/tone.wav" -B -b 64 -e floating-point rifx-f64-sox.wav
$sox rifx-f64-sox.wav -L -b 32 -e floating-point rifx-f64-sox-f32.wav
$ffmpeg -i "$work/tone.wav" -c:a pcm_f64le $plain f64-ffmpeg.wav
$ffmpeg -i f64-ffmpeg.wav -c:a pcm_f32le $plain f64-ffmpeg-f32.wav

# Four 16-bit channels, the third silent; each channel taken out alone, and
# the interleaved data relabelled as one channel at 32000 Hz.
$sox -M "$work/tone.wav" "$work/low.wav" "$work/silence.wav" "$work/stereo.wav" -b 16 quad16-sox.wav remix 1 2 3 4v0.5
for c in 1 2 3 4; do
  $sox quad16-sox.wav "quad16-sox-ch$c.wav" remix "$c"
done
$sox quad16-sox.wav -t raw - | $sox -t raw -r 32000 -e signed -b 16 -c 1 - quad16-sox-as-mono.wav
