#include "scan/scan.h"

#include <cfloat>

#include "display/waveform.h"
#include "scan/float32.h"

static_assert(LDBL_MANT_DIG == 64, "block levels need the x86-64 80-bit long double");

double BlockLevel(double blockSum, uint32_t channelCount, uint32_t resolution,
                  float magnification) {
  const long double sum = channelCount == 2 ? blockSum / 2 : blockSum;
  return static_cast<double>(sum / resolution * magnification);
}

namespace {

constexpr uint32_t kChunkFrames = 4096;
constexpr uint32_t kMostFrameBytes = 8;

// Decodes one frame's samples into *left and *right; false for layouts that
// are walked without decoding.
bool DecodeFrame(const unsigned char* frame, uint32_t bytesPerSample,
                 uint32_t channelCount, double* left, double* right) {
  if (channelCount != 1 && channelCount != 2) return false;
  const unsigned char* second = frame + bytesPerSample;
  switch (bytesPerSample) {
    case 2:
      *left = Decode16(frame);
      if (channelCount == 2) *right = Decode16(second);
      return true;
    case 3:
      *left = Decode24(frame);
      if (channelCount == 2) *right = Decode24(second);
      return true;
    case 4:
      *left = Float32Convert(frame[0], frame[1], frame[2], frame[3]);
      if (channelCount == 2)
        *right = Float32Convert(second[0], second[1], second[2], second[3]);
      return true;
    default:
      return false;
  }
}

}  // namespace

void ScanFrames(std::FILE* file, uint32_t dataOffset, uint32_t frameSize,
                uint32_t bytesPerSample, uint32_t channelCount,
                uint32_t sampleRate, uint32_t startFrame, uint32_t endFrame,
                uint32_t resolution, float magnification, double interval,
                double* peakL, double* peakR) {
  static unsigned char buffer[kChunkFrames * kMostFrameBytes];
  const uint32_t half = resolution / 2;
  uint32_t bufferIndex = 0;
  uint32_t framesInBuffer = 0;
  uint32_t blockCount = 0;
  double blockSum = 0;
  *peakL = 0;
  *peakR = 0;

  for (uint32_t current = startFrame; current < endFrame;) {
    if (bufferIndex == 0) {
      const uint32_t remaining = endFrame - current;
      const uint32_t wanted = remaining < kChunkFrames ? remaining : kChunkFrames;
      const uint64_t position =
          dataOffset + static_cast<uint64_t>(frameSize) * current;
      framesInBuffer = 0;
      if (fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0)
        framesInBuffer = static_cast<uint32_t>(std::fread(buffer, frameSize, wanted, file));
    }
    if (bufferIndex >= framesInBuffer) break;  // short read: the data ends here

    double left = 0;
    double right = 0;
    if (DecodeFrame(buffer + bufferIndex * frameSize, bytesPerSample,
                    channelCount, &left, &right)) {
      CheckPeak(left, peakL);
      blockSum += left < 0 ? -left : left;
      if (channelCount == 2) {
        CheckPeak(right, peakR);
        blockSum += right < 0 ? -right : right;
      }
    }
    bufferIndex = (bufferIndex + 1) % kChunkFrames;
    ++current;
    if (++blockCount == resolution) {
      Waveform(current - half, sampleRate,
               BlockLevel(blockSum, channelCount, resolution, magnification),
               interval);
      blockCount = 0;
      blockSum = 0;
    }
  }
}
