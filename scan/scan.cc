#include "scan/scan.h"

#include <cstring>

#include "scan/layouts.h"

namespace {

// The buffer is one fixed area for the whole scan, sized so that a chunk of
// 16-bit stereo (256 KiB) still sits in the core's cache when it is decoded;
// fewer, larger reads cost less than many small ones.
alignas(64) unsigned char buffer[kChunkFrames * kMostFrameBytes];
static_assert(kNarrowChunkBytes <= sizeof buffer, "a chunk of narrow frames fits the buffer");

// Integer sums are the sequential double sums as long as every partial sum
// is exact in a double: at most 2^53 units.
constexpr uint64_t kMostExactUnits = uint64_t{1} << 53;

// Whole blocks are summed a group at a time where that pays: float blocks
// side by side, as many as a chunk holds, in fours, up to 16 (float sums
// must keep their order within a block, but separate blocks need not wait on
// each other); integer blocks of up to kShortBlock frames (of any length
// where the set has a blocks loop of its own) up to 256 at a time, so that a
// short block costs no call of its own. 0: no groups.
uint32_t GroupBlocks(const LayoutEntry& entry, const Loops& loops, uint32_t resolution,
                     uint32_t capacity) {
  if (resolution == 0 || loops.blocks == nullptr) return 0;
  switch (entry.grouping) {
    case Grouping::kSideBySide: {
      const uint32_t fit = capacity / resolution;
      return (fit < kMostSideBySideBlocks ? fit : kMostSideBySideBlocks) / 4 * 4;
    }
    case Grouping::kShortBlocks:
      // A set's own blocks loop (the AVX-512 8-bit ones) takes blocks of any
      // length, as many as a chunk holds a call.
      if (resolution <= kShortBlock) return kMostGroupBlocks;
      return loops.blocks != entry.plain.blocks && resolution <= capacity ? kMostGroupBlocks : 0;
  }
  return 0;
}

}  // namespace

Result ScanFrames(const ScanRequest& request, double* peaks, uint32_t* framesScanned) {
  const WaveHeader& header = request.header;
  const uint32_t channelCount = header.channelCount;
  const LayoutEntry& entry = LayoutOf(header.layout, header.byteOrder);
  const uint32_t frameSize = header.bytesPerSample * channelCount;
  const uint32_t resolution = request.resolution;
  const float magnification = request.magnification;
  const LevelSink& sink = request.sink;
  WaveInput* input = request.input;
  input->outputBroken = sink.broken;
  input->outputContext = sink.context;

  // The loops are chosen once: the per-chunk path below never asks what
  // the layout is. Integer blocks too long for exact sums (24-bit blocks
  // of over 2^30 samples, 32-bit of over 2^22, at sample rates in the
  // megahertz) round as doubles do.
  Loops loops = LoopsOf(entry, request.loopSet);
  const bool longBlocks =
      entry.unit != 0 && uint64_t{resolution} * channelCount > kMostExactUnits / entry.largest;
  if (longBlocks) {
    loops.frames = entry.longBlocks;
    loops.blocks = nullptr;
  }
  const uint32_t half = resolution / 2;
  const uint32_t capacity = frameSize < 4 ? kNarrowChunkBytes / frameSize : kChunkFrames;
  const uint32_t group = GroupBlocks(entry, loops, resolution, capacity);
  // Samples that the loops read narrowed (64-bit floats) are narrowed a
  // chunk at a time as it comes in, or, where the set sums full groups of
  // blocks as stored and no report wants statistics, only the frames summed
  // frame by frame, just before.
  const bool narrowLate = loops.narrow != nullptr && loops.storedBlocks != nullptr &&
                          group == kMostSideBySideBlocks && request.statistics == nullptr;
  if (narrowLate) loops.blocks = loops.storedBlocks;
  // A frame as the loops walk it.
  const uint32_t loopFrameSize =
      loops.narrow != nullptr && !narrowLate ? entry.loopBytes * channelCount : frameSize;
  // Side-by-side float sums take whole groups, integer groups any number of
  // blocks. Chunks are cut at whole groups or blocks, so that every chunk of
  // a file starts on a block and all but the last few blocks of the span are
  // summed in groups. (Stream reads come as they come; blocks that they cut
  // take the frame-by-frame way.)
  const bool wholeGroups = entry.grouping == Grouping::kSideBySide;
  const uint32_t cut = wholeGroups ? group * resolution : resolution;
  const uint32_t chunkFrames = group != 0 ? capacity - capacity % cut : capacity;
  // A report's statistics: in the frames loop's pass where the set has a loop
  // for both and every frame goes frame by frame; else a pass of their own
  // over each read.
  const FramesStatisticsLoop withStatistics =
      request.statistics != nullptr && group == 0 && !longBlocks ? loops.framesStatistics : nullptr;
  Totals totals;
  uint32_t blockCount = 0;
  // Sums of blocks summed frame by frame, made levels and handed to the
  // sink together once a chunk is done (or the batch is full): one call of
  // the sink for many rows, not one a row.
  double batch[kMostGroupBlocks];
  uint32_t batched = 0;
  uint32_t batchFirst = 0;  // the frame the first batched block stands for
  const auto handBatch = [&]() {
    if (batched == 0) return true;
    BlockLevels(batch, batched, channelCount, resolution, magnification);
    const bool handed = sink.blocks(sink.context, batchFirst, resolution, batched, batch);
    batched = 0;
    return handed;
  };
  // Bytes of a frame that a stream read cut in two, kept at the front of the
  // buffer until the rest arrives.
  uint32_t carried = 0;

  uint32_t current = request.startFrame;
  while (current < request.endFrame) {
    const uint32_t remaining = request.endFrame - current;
    const uint32_t wanted = remaining < chunkFrames ? remaining : chunkFrames;
    size_t read = 0;
    const int error = ReadWaveInput(
        input, header.dataOffset + static_cast<uint64_t>(frameSize) * current + carried,
        buffer + carried, size_t{wanted} * frameSize - carried, &read);
    if (error != 0) return ReadFailure(error);
    if (read == 0) break;  // the data ended early: a partial frame is dropped
    const size_t bytes = carried + read;
    const uint32_t got = static_cast<uint32_t>(bytes / frameSize);
    if (loops.narrow != nullptr && !narrowLate) loops.narrow(buffer, size_t{got} * channelCount);
    if (request.statistics != nullptr && withStatistics == nullptr)
      loops.statistics(buffer, got, channelCount, current, request.statistics);
    // The chunk is cut at block ends; blocks run on across chunks.
    unsigned char* frames = buffer;
    for (uint32_t left = got; left > 0;) {
      if (group != 0 && blockCount == 0 && left >= cut) {
        if (!handBatch()) return OutputFailure(0);
        const uint32_t whole = left / resolution;
        const uint32_t blocks = wholeGroups || whole > group ? group : whole;
        double sums[kMostGroupBlocks];
        loops.blocks(frames, resolution, blocks, channelCount, sums, &totals);
        double* levels = sums;  // each level replaces its sum
        BlockLevels(levels, blocks, channelCount, resolution, magnification);
        if (!sink.blocks(sink.context, current + resolution - half, resolution, blocks, levels))
          return OutputFailure(0);
        current += blocks * resolution;
        frames += static_cast<size_t>(blocks) * resolution * loopFrameSize;
        left -= blocks * resolution;
        continue;
      }
      const uint32_t toBlockEnd = resolution == 0 ? left : resolution - blockCount;
      const uint32_t count = left < toBlockEnd ? left : toBlockEnd;
      if (narrowLate) loops.narrow(frames, size_t{count} * channelCount);
      if (withStatistics != nullptr)
        withStatistics(frames, count, channelCount, &totals, current, request.statistics);
      else
        loops.frames(frames, count, channelCount, &totals);
      frames += static_cast<size_t>(count) * loopFrameSize;
      left -= count;
      current += count;
      blockCount += count;
      if (blockCount == resolution) {
        // Units times the unit (a power of two) are exact; float layouts
        // and long blocks sum into `sum` alone.
        const double sum = static_cast<double>(totals.units) * entry.unit + totals.sum;
        if (batched == 0) batchFirst = current - half;
        batch[batched++] = sum;
        if (batched == kMostGroupBlocks && !handBatch()) return OutputFailure(0);
        blockCount = 0;
        totals.units = 0;
        totals.sum = 0;
      }
    }
    carried = static_cast<uint32_t>(bytes - size_t{got} * frameSize);
    std::memmove(buffer, buffer + size_t{got} * frameSize, carried);
    // Rows keep coming as the scan goes, a chunk at a time.
    if (!handBatch() || !sink.flush(sink.context)) return OutputFailure(0);
  }
  // A float peak of pattern 0 is still 2^-120 once any frame was decoded.
  const bool anyDecoded = current != request.startFrame;
  for (uint32_t c = 0; c < channelCount && c < kMostChannels; ++c)
    peaks[c] = anyDecoded ? PeakLevel(entry, totals.peaks[c]) : 0;
  if (framesScanned != nullptr) *framesScanned = current - request.startFrame;
  return {};
}
