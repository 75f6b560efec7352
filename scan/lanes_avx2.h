// Lanes of frames in AVX2 registers, shared by the AVX2 and AVX-512 loops:
// which channel counts a round of lanes takes, and how the lanes of a
// register fold into one peak per channel.
#ifndef OSTREL_SCAN_LANES_AVX2_H
#define OSTREL_SCAN_LANES_AVX2_H

#include <immintrin.h>

#include <cstdint>

#include "scan/kernel_loops.h"
#include "scan/kernels_avx2.h"

namespace lanes {

// The largest (or smallest) of each pair of unsigned lanes.
template <typename Lane, bool Least = false>
OSTREL_AVX2 inline __m256i Pick(__m256i a, __m256i b) {
  if (sizeof(Lane) == 1) return Least ? _mm256_min_epu8(a, b) : _mm256_max_epu8(a, b);
  if (sizeof(Lane) == 2) return Least ? _mm256_min_epu16(a, b) : _mm256_max_epu16(a, b);
  return Least ? _mm256_min_epu32(a, b) : _mm256_max_epu32(a, b);
}

// Whether the vector loops take frames of `channelCount` channels of
// `laneBytes` each: a power of two of channels in at most 8 bytes, so that a
// 32-byte round of lanes holds whole frames and starts on one (lane k holds
// channel k % channelCount), and the channels' peaks fold into 8 bytes. Other
// counts take the plain loop.
inline bool FramesFit(uint32_t channelCount, uint32_t laneBytes) {
  return channelCount != 0 && (channelCount & (channelCount - 1)) == 0 &&
         channelCount * laneBytes <= 8;
}

// Folds lanes into one value per channel: lanes a whole number of frames
// apart are taken together, the two halves first, then 8, 4, 2 and 1 bytes
// apart as long as that is still a whole number of frames. Lane c of the
// first 8 bytes then holds channel c's: those bytes come back as a word,
// channel 0 lowest. Without a division or a loop over the lanes, as it runs
// once a call and calls come once a block.
template <typename Lane, bool Least = false>
OSTREL_AVX2 OSTREL_LOOP uint64_t FoldFrames(__m256i lanes, uint32_t channelCount) {
  const uint32_t frameBytes = channelCount * static_cast<uint32_t>(sizeof(Lane));
  lanes = Pick<Lane, Least>(lanes, _mm256_permute2x128_si256(lanes, lanes, 0x01));
  lanes = Pick<Lane, Least>(lanes, _mm256_srli_si256(lanes, 8));
  if (frameBytes <= 4) lanes = Pick<Lane, Least>(lanes, _mm256_srli_si256(lanes, 4));
  if (frameBytes <= 2) lanes = Pick<Lane, Least>(lanes, _mm256_srli_si256(lanes, 2));
  if (frameBytes <= 1) lanes = Pick<Lane, Least>(lanes, _mm256_srli_si256(lanes, 1));
  return static_cast<uint64_t>(_mm_cvtsi128_si64(_mm256_castsi256_si128(lanes)));
}

// Channel c's lane of a folded word.
template <typename Lane>
OSTREL_LOOP uint32_t LaneOf(uint64_t folded, uint32_t c) {
  return static_cast<Lane>(folded >> (8 * sizeof(Lane) * c));
}

// Raises each channel's peak to the largest of its lanes.
template <typename Lane>
OSTREL_AVX2 OSTREL_LOOP void RaisePeaks(__m256i lanePeaks, uint32_t channelCount,
                                        uint32_t* channelPeaks) {
  const uint64_t folded = FoldFrames<Lane>(lanePeaks, channelCount);
  for (uint32_t c = 0; c < channelCount; ++c)
    channelPeaks[c] = loops::Max(channelPeaks[c], LaneOf<Lane>(folded, c));
}

// Ends a 16-bit statistics loop's call once its first `done` frames are
// in: `most` holds their largest magnitudes, lane k of channel
// k % channelCount. Clipped samples (a magnitude of 32767 or more) are
// counted only for a channel whose peak reaches that far, rare in any
// recording, and the first frame of a new peak is looked for only in a call
// that raises it.
template <bool BigEndian>
OSTREL_AVX2 inline void EndStatistics16(const unsigned char* frames, uint32_t done,
                                        uint32_t channelCount, uint64_t firstFrame, __m256i most,
                                        ChannelStatistics* channels) {
  alignas(32) uint16_t mosts[16];
  _mm256_store_si256(reinterpret_cast<__m256i*>(mosts), most);
  for (uint32_t c = 0; c < channelCount && done != 0; ++c) {
    uint32_t channelMost = 0;
    for (uint32_t lane = c; lane < 16; lane += channelCount)
      channelMost = loops::Max(channelMost, mosts[lane]);
    ChannelStatistics& channel = channels[c];
    const auto magnitude = [&](uint32_t i) {
      return loops::Magnitude16<BigEndian>(frames + 2 * (size_t{i} * channelCount + c));
    };
    if (channelMost >= 32767) {
      for (uint32_t i = 0; i < done; ++i) channel.clipped += magnitude(i) >= 32767 ? 1 : 0;
    }
    if (channelMost > channel.peak || channel.peakFrame == UINT64_MAX) {
      uint32_t i = 0;
      while (magnitude(i) != channelMost) ++i;
      channel.peak = channelMost;
      channel.peakFrame = firstFrame + i;
    }
  }
}

}  // namespace lanes

#endif
