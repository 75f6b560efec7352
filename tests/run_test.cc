// End-to-end runs of the built ostrel binary on WAV files written here.
// Every expected output below is worked out by hand from the levels, stamps
// and dB values the files imply, and compared byte for byte.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "examples/wav_writer.h"
#include "scan/scan.h"
#include "tests/test_files.h"

namespace {

const std::string kUsage =
    "This program will print a basic waveform image\n"
    "Run with command line argument 1 being the name of the wavefile\n"
    "Arguments 2 and 3 are the start/stop times in seconds to scan within the file.\n"
    "Argument 4 (optional) is resolution in samples.  Default = samplerate / 20 \n"
    "Argument 5 (optional) is magnification: Above 1 magnifies (256 is the max).  "
    "Between 0 and 1 zooms out.\n";

const WavFormat kStereo16At1000{1, 2, 1000, 16};

std::string Pcm24(std::initializer_list<int32_t> values) {
  std::string out;
  for (int32_t value : values) Append24(&out, value);
  return out;
}

std::string Floats(std::initializer_list<float> values) {
  std::string out;
  for (float value : values) AppendFloat(&out, value);
  return out;
}

// 1000 Hz 16-bit mono: four frames at 1.0, four alternating +-2.0, four at
// 300/256. With resolution 4 the blocks have levels 1, 2 and 1.171875.
std::string ThousandHertzExample() {
  return WriteTemp("example.wav", WavFile(kMono16At1000, Pcm16({256, 256, 256, 256, 512, -512, 512,
                                                                -512, 300, 300, 300, 300})));
}

const std::string kExampleOut = kHead +
                                "0.002\t.\n"
                                "0.006\t..\n"
                                "0.010\t.\n" +
                                kAbove48 + "Peak over interval -36.1 dB\n";

// ---------------------------------------------------------------------------
// Usage and the time span

TEST(RunUsage, FewerThanThreeArgumentsPrintTheUsage) {
  const std::string path = ThousandHertzExample();
  const std::vector<std::vector<std::string>> cases = {{}, {path}, {path, "0"}};
  for (const auto& args : cases) {
    SCOPED_TRACE(args.size());
    ExpectRun(args, kHead + kUsage, 1);
  }
}

TEST(RunSpan, MissingFileIsReportedBeforeTheBadSpan) {
  const std::string path = TempPath("no-such-file.wav");
  ExpectRun({path, "1", "1"}, kHead + ("The file called " + path + " cannot be found!\n"), 2);
}

TEST(RunSpan, RejectedSpansEndWithStatusOne) {
  const std::string path = ThousandHertzExample();
  // Equal times; -1 s wraps to frame 2^32 - 1000, above the stop; -0.0005 s
  // truncates to frame 0, no later than the start.
  const std::vector<std::vector<std::string>> cases = {
      {path, "0.5", "0.5"}, {path, "0", "0"}, {path, "-1", "1"}, {path, "0", "-0.0005"}};
  for (const auto& args : cases) {
    SCOPED_TRACE(args[1] + " " + args[2]);
    ExpectRun(args, kHead + kBadSpan, 1);
  }
}

TEST(RunSpan, NegativeTimesThatStillMakeASpanScanTheData) {
  const std::string path = ThousandHertzExample();
  // Stop -1 s wraps far past the data and is cut to the frame count; start
  // -0.0005 s truncates to frame 0.
  ExpectRun({path, "0", "-1", "4"}, kExampleOut, 0);
  ExpectRun({path, "-0.0005", "1", "4"}, kExampleOut, 0);
}

TEST(RunSpan, StartTimeIsRoundedToSinglePrecisionFirst) {
  // 0.7 as a float is 0.699999988..., so 44100 Hz gives frame 30869, not
  // 30870. Resolution 1 stamps each row with the frame after it.
  std::string samples = Pcm16Run(0, 30868);
  samples += Pcm16({5 * 256, 256, 2 * 256, 3 * 256});
  const std::string path = WriteTemp("start07.wav", WavFile({1, 1, 44100, 16}, samples));
  ExpectRun({path, "0.7", "1", "1"},
            kHead +
                "0.700\t30870\t.\n"
                "0.700\t30871\t..\n"
                "0.700\t30872\t...\n" +
                kAbove48 + "Peak over interval -32.6 dB\n",
            0);
}

TEST(RunSpan, StopBeyondTheDataEndsTheRowsAtTheLastWholeBlock) {
  // Ten frames, resolution 4: two rows; the last two frames make no row but
  // still raise the peak to 5.0.
  std::string samples = Pcm16Run(256, 8) + Pcm16({-1280, 0});
  const std::string path = WriteTemp("short.wav", WavFile(kMono16At1000, samples));
  ExpectRun({path, "0", "5", "4"},
            kHead + "0.002\t.\n0.006\t.\n" + kAbove48 + "Peak over interval -28.2 dB\n", 0);
}

TEST(RunSpan, StartBeyondTheDataPrintsOnlyTheSummary) {
  const std::string path = ThousandHertzExample();
  // -1 s wraps to frame 2^32 - 1000, and 4294969 s is frame 4294969000,
  // taken as it is past 2^32: a span past the end, not a stop before the
  // start.
  for (const char* start : {"0.5", "-1"})
    ExpectRun({path, start, "4294969", "4"}, kHead + kAbove48 + "Peak over interval -inf dB\n", 0);
}

// ---------------------------------------------------------------------------
// Resolution

TEST(RunResolution, ResolutionIsTakenUpToTheRateElseOneTwentiethOfIt) {
  // 100 Hz, ten frames at 1.0 in the span. The fallback, 5 frames, gives
  // rows at frames 3 and 8; the peak is 1.0 whatever the rows.
  const std::string path = WriteTemp("rate100.wav", WavFile({1, 1, 100, 16}, Pcm16Run(256, 100)));
  const std::string fallback = "0.03\t.\n0.08\t.\n";
  struct Case {
    std::vector<std::string> resolution;  // none, or the fourth argument
    std::string rows;
  } const cases[] = {
      {{}, fallback},
      {{"10"}, "0.05\t.\n"},
      {{"100"}, ""},  // equal to the rate: one block of a second, longer than the span
      {{"0"}, fallback},
      {{"-5"}, fallback},
      {{"  -7abc"}, fallback},
      {{"101"}, fallback},
      {{"abc"}, fallback},
      {{"0x20"}, fallback},  // base 10: 0
      // Clamped to the signed 32-bit range, not cut to 1.
      {{"4294967297"}, fallback},
      {{"-4294967295"}, fallback},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.resolution.empty() ? "none" : c.resolution[0]);
    std::vector<std::string> args = {path, "0", "0.1"};
    args.insert(args.end(), c.resolution.begin(), c.resolution.end());
    std::string out = kHead;
    out += c.rows;
    out += kAbove48;
    out += "Peak over interval -42.1 dB\n";
    ExpectRun(args, out, 0);
  }
}

TEST(RunResolution, RateBelowTwentyWithoutResolutionPrintsNoRows) {
  // 10 / 20 is 0: no block ever completes.
  const std::string path = WriteTemp("rate10.wav", WavFile({1, 1, 10, 16}, Pcm16Run(256, 30)));
  ExpectRun({path, "0", "10"}, kHead + kAbove48 + "Peak over interval -42.1 dB\n", 0);
}

// ---------------------------------------------------------------------------
// Magnification

struct MagnificationCase {
  const char* argument;
  int dots;
  const char* threshold;
};

TEST(RunMagnification, MagnificationScalesTheRowAndSetsTheThreshold) {
  // One block of level 1.0 at 1000 Hz, resolution 4.
  const std::string path = WriteTemp("level1.wav", WavFile(kMono16At1000, Pcm16Run(256, 4)));
  const MagnificationCase cases[] = {
      {"1", 1, "-48"},
      {"2", 2, "-54"},
      {"1.5", 1, "-52"},
      {"256", 256, "-96"},
      {"256.00001", 256, "-96"},
      {"0", 1, "-48"},
      {"-2", 1, "-48"},
      {"inf", 1, "-48"},
      {"300", 1, "-48"},
      {"256.1", 1, "-48"},
      {"0.5", 0, "-42"},
      {"0.00390625", 0, "-0"},
      {"nan", 0, "nan"},
      // -49.4999967 dB: a float logarithm would give -49.5 and print -50.
      {"1.1661647", 1, "-49"},
  };
  for (const MagnificationCase& c : cases) {
    SCOPED_TRACE(c.argument);
    ExpectRun({path, "0", "1", "4", c.argument},
              kHead + "0.002\t" + Dots(c.dots) + "\n" + "Showing values above " + c.threshold +
                  " dB\n" + "Peak over interval -42.1 dB\n",
              0);
  }
}

TEST(RunMagnification, SixArgumentsLeaveTheMagnificationAtOne) {
  const std::string path = WriteTemp("level1-six.wav", WavFile(kMono16At1000, Pcm16Run(256, 4)));
  ExpectRun({path, "0", "1", "4", "2", "extra"},
            kHead + "0.002\t.\n" + kAbove48 + "Peak over interval -42.1 dB\n", 0);
}

TEST(RunMagnification, WholeLevelAfterScalingKeepsItsLastDot) {
  // Block sum 23 over 5 frames at magnification 100 is exactly 460; a plain
  // double quotient-then-product gives 459.99999999999994.
  const std::string path =
      WriteTemp("sum23.wav", WavFile(kMono16At1000, Pcm16({1280, 1280, -1280, 1024, 1024})));
  ExpectRun({path, "0", "1", "5", "100"},
            kHead + "0.003\t" + Dots(460) + "\n" +
                "Showing values above -88 dB\nPeak over interval -28.2 dB\n",
            0);
}

// ---------------------------------------------------------------------------
// Frame size

TEST(RunFrameSize, DecodedFramesUpToEightBytesPassAndOthersAreRefused) {
  struct Case {
    const char* name;
    WavFormat format;
    int status;
    std::string samples;
    std::string out;
  };
  // Four frames of 1, -2, 0 and 3: a level of 24 / 16 = 1.5, peaks of 1, 2,
  // 0 and 3 of 128.
  std::string quad16;
  for (int i = 0; i < 4; ++i) quad16 += Pcm16({256, -512, 0, 768});
  // Eight unsigned bytes: magnitudes 128, 127, 0, 1, 1, 16, 64 and 64, a
  // level of 401 / 8 = 50.125.
  const std::string eight8("\x00\xFF\x80\x81\x7F\x90\x40\xC0", 8);
  const std::string loud(64, '\x50');
  const Case cases[] = {
      {"16-bit x4",
       {1, 4, 1000, 16},
       0,
       quad16,
       kHead + "0.002\t.\n" + kAbove48 + "Peaks over interval -42.1 -36.1 -inf -32.6\n"},
      {"8-bit x8",
       {1, 8, 1000, 8},
       0,
       eight8 + eight8 + eight8 + eight8,
       kHead + "0.002\t" + Dots(50) + "\n" + kAbove48 +
           "Peaks over interval 0.0 -0.1 -inf -42.1 -42.1 -18.1 -6.0 -6.0\n"},
      // 32-bit integer zeros: no dots, no peak.
      {"32-bit x2",
       {1, 2, 1000, 32},
       0,
       std::string(32, '\0'),
       kHead + "0.002\t\n" + kAbove48 + "Peaks over interval -inf L -inf R\n"},
      // Frames of more than 8 bytes.
      {"24-bit x3", {1, 3, 1000, 24}, 1, loud, kHead + kBadFrame},
      {"64-bit float x2", {3, 2, 1000, 64}, 1, loud, kHead + kBadFrame},
      {"36-bit x2", {1, 2, 1000, 36}, 1, loud, kHead + kBadFrame},
      // Frames that fit, of samples that are not decoded.
      {"40-bit mono", {1, 1, 1000, 40}, 1, loud, kHead + kBadFrame},
      {"56-bit mono", {1, 1, 1000, 56}, 1, loud, kHead + kBadFrame},
      {"64-bit integer mono", {1, 1, 1000, 64}, 1, loud, kHead + kBadFrame},
      {"60-bit float mono", {3, 1, 1000, 60}, 1, loud, kHead + kBadFrame},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path =
        WriteTemp(std::string("frame-") + c.name + ".wav", WavFile(c.format, c.samples));
    ExpectRun({path, "0", "1", "4"}, c.out, c.status);
    // A refused file is refused after its span is checked.
    if (c.status != 0) ExpectRun({path, "1", "1", "4"}, kHead + kBadSpan, 1);
  }
}

// ---------------------------------------------------------------------------
// Header

TEST(RunHeader, FieldsAreFoundWhereverTheChunksSit) {
  // Four frames at 2.0, resolution 4, in differently laid-out files.
  const std::string samples = Pcm16Run(512, 4);
  const WavFormat format = kMono16At1000;
  const std::string list = Chunk("LIST", "INFOISFT" + Le32(6) + std::string("Gen\0\0\0", 6));
  const std::vector<std::pair<std::string, std::string>> files = {
      {"canonical", WavFile(format, samples)},
      {"fmt18", RiffWave(FormatChunk(format, 18) + Chunk("data", samples))},
      {"fmt40", RiffWave(FormatChunk(format, 40) + Chunk("data", samples))},
      {"list-between", RiffWave(FormatChunk(format) + list + Chunk("data", samples))},
      {"junk-first", RiffWave(Chunk("JUNK", std::string(28, '\0')) + FormatChunk(format) +
                              Chunk("data", samples))},
      // The letters sit at an odd position inside the note and are skipped.
      {"odd-letters-skipped",
       RiffWave(FormatChunk(format) + Chunk("note", "xdatax") + Chunk("data", samples))},
  };
  const std::string out = kHead + "0.002\t..\n" + kAbove48 + "Peak over interval -36.1 dB\n";
  for (const auto& file : files) {
    SCOPED_TRACE(file.first);
    ExpectRun({WriteTemp("hdr-" + file.first + ".wav", file.second), "0", "1", "4"}, out, 0);
  }
}

TEST(RunHeader, DataLettersAtAnEvenPositionInAnEarlierChunkAreTheDataChunk) {
  // The note's body starts at byte 44: "data", size 4, then two samples
  // (3.0 and -3.0) that are taken as the whole of the data.
  const std::string note = Chunk("note", "data" + Le32(4) + Pcm16({768, -768}));
  const std::string bytes =
      RiffWave(FormatChunk(kMono16At1000) + note + Chunk("data", Pcm16Run(256, 4)));
  const std::string path = WriteTemp("data-in-note.wav", bytes);
  ExpectRun({path, "0", "1", "2"},
            kHead + "0.001\t...\n" + kAbove48 + "Peak over interval -32.6 dB\n", 0);
}

TEST(RunHeader, DataTagOnlyAtAnOddPositionIsNotFound) {
  // A one-byte chunk without its pad byte puts the data tag at byte 45.
  const std::string chunks =
      FormatChunk(kMono16At1000) + "pad!" + Le32(1) + "x" + "data" + Le32(8) + Pcm16Run(256, 4);
  const std::string path = WriteTemp("odd-data.wav", RiffWave(chunks));
  ExpectRun({path, "0", "1", "4"}, kHead + kNoData, 2);
}

TEST(RunHeader, MissingFormatChunkIsReported) {
  const std::string path = WriteTemp("no-fmt.wav", RiffWave(Chunk("data", Pcm16Run(256, 4))));
  ExpectRun({path, "0", "1", "4"}, kHead + kNoFormat, 2);
  // Neither chunk: the format chunk is looked for first.
  const std::string bare = WriteTemp("bare.wav", RiffWave(Chunk("JUNK", "abcd")));
  ExpectRun({bare, "0", "1", "4"}, kHead + kNoFormat, 2);
}

TEST(RunHeader, FrameCountKeepsOnlyWholeFramesOfTheDeclaredAndPresentData) {
  // Stereo frames: (1.0, 1.0), then (2.0, 4.0), then samples at 100.0 that
  // must never be scanned. Resolution 1 gives a row per frame.
  const std::string frames = Pcm16({256, 256, 512, 1024});
  const std::string out =
      kHead + "0.001\t1\t.\n0.002\t2\t...\n" + kAbove48 + "Peaks over interval -36.1 L -30.1 R\n";
  // Declared 100 bytes, 10 present: cut to 2 whole frames.
  ExpectRun({WriteTemp("data-too-long.wav",
                       CanonicalHeader(kStereo16At1000, 100) + frames + Pcm16({25600})),
             "0", "1", "1"},
            out, 0);
  // Declared 10 bytes, 16 present: the declared size gives 2 whole frames.
  ExpectRun({WriteTemp("data-partial-frame.wav",
                       CanonicalHeader(kStereo16At1000, 10) + frames + Pcm16({25600, 25600})),
             "0", "1", "1"},
            out, 0);
}

// ---------------------------------------------------------------------------
// Rows and peaks of integer samples

std::string Words(std::initializer_list<uint32_t> words) {
  std::string out;
  for (uint32_t word : words) Append32(&out, word);
  return out;
}

TEST(RunRows, ExtremeIntegerSamples) {
  // Full scale is 128 at every width: -32768, byte 0 and -2^31; the largest
  // values fall short of it by one unit: 32767 is 127.99609375, byte 255 is
  // 127 and 2^31 - 1 is 127.99999994. Resolution 4 at 1000 Hz unless given.
  struct Case {
    const char* name;
    WavFormat format;
    std::string samples;
    std::string rows;
    const char* peaks;
    const char* resolution = "4";
  } const cases[] = {
      {"16-bit -32768", kMono16At1000, Pcm16Run(-32768, 4), "0.002\t" + Dots(128) + "\n",
       "Peak over interval 0.0 dB"},
      {"16-bit 32767", kMono16At1000, Pcm16Run(32767, 4), "0.002\t" + Dots(127) + "\n",
       "Peak over interval -0.0 dB"},
      // 128 and 127, then 0 and 2.
      {"8-bit mono",
       {1, 1, 1000, 8},
       std::string("\x00\xFF\x80\x82", 4),
       "0.001\t" + Dots(127) + "\n0.003\t.\n",
       "Peak over interval 0.0 dB",
       "2"},
      // Left 127 and 127, right 128 and 0: (127 + 128 + 127 + 0) / 4 = 95.5.
      {"8-bit stereo",
       {1, 2, 1000, 8},
       std::string("\xFF\x00\x01\x80", 4),
       "0.001\t" + Dots(95) + "\n",
       "Peaks over interval -0.1 L 0.0 R",
       "2"},
      // 128 and 127.99999994, then 3 and -5.
      {"32-bit mono",
       {1, 1, 1000, 32},
       Words({0x80000000u, 0x7FFFFFFFu, 3u << 24, 0u - (5u << 24)}),
       "0.001\t" + Dots(127) + "\n0.003\t....\n",
       "Peak over interval 0.0 dB",
       "2"},
      // Left 128 and 1, right 127.99999994 and -2: 258.99999994 / 4 = 64.75.
      {"32-bit stereo",
       {1, 2, 1000, 32},
       Words({0x80000000u, 0x7FFFFFFFu, 1u << 24, 0u - (2u << 24)}),
       "0.001\t" + Dots(64) + "\n",
       "Peaks over interval 0.0 L -0.0 R",
       "2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path =
        WriteTemp(std::string("extreme ") + c.name + ".wav", WavFile(c.format, c.samples));
    std::string out = kHead;
    out += c.rows;
    out += kAbove48;
    out += c.peaks;
    out += '\n';
    ExpectRun({path, "0", "1", c.resolution}, out, 0);
  }
}

TEST(RunRows, TwentyFourBitSamplesUseAllThreeBytes) {
  // Mono: 3.0 and -3.0, then 65535 and -65537 whose magnitudes add to 2.0
  // only when the low bytes count as unsigned.
  const std::string mono =
      WriteTemp("mono24.wav", WavFile({1, 1, 1000, 24}, Pcm24({196608, -196608, 65535, -65537})));
  ExpectRun({mono, "0", "1", "2"},
            kHead + "0.001\t...\n0.003\t.\n" + kAbove48 + "Peak over interval -32.6 dB\n", 0);
  // Stereo: left 3.0, right -5.0, so a level of 4.
  const std::string stereo = WriteTemp(
      "stereo24.wav", WavFile({1, 2, 1000, 24}, Pcm24({196608, -327680, 196608, -327680})));
  ExpectRun({stereo, "0", "1", "2"},
            kHead + "0.001\t....\n" + kAbove48 + "Peaks over interval -32.6 L -28.2 R\n", 0);
}

TEST(RunRows, BlocksRunOnAcrossReads) {
  // 100 MHz, resolution 50000 (interval 0.0005 s, stamps with frame
  // indexes), magnification 256: three blocks and 1000 frames over. All
  // frames are 1.0 but the last, -128.0, and marks of 127.0 and -127.0 on
  // either side of the first two read boundaries, one pair in the second
  // block and one in the third. Levels 256 and (49998 + 254) / 50000 x 256 =
  // 257.29.
  constexpr uint32_t kResolution = 50000;
  static_assert(kChunkFrames > kResolution && 2 * kChunkFrames < 3 * kResolution,
                "the read boundaries fall inside the second and third blocks");
  std::string samples = Pcm16Run(256, kChunkFrames - 1) + Pcm16({127 * 256, -127 * 256});
  samples += Pcm16Run(256, kChunkFrames - 2) + Pcm16({127 * 256, -127 * 256});
  samples += Pcm16Run(256, 3 * kResolution + 1000 - 2 * kChunkFrames - 2) + Pcm16({-32768});
  const std::string path = WriteTemp("reads.wav", WavFile({1, 1, 100000000, 16}, samples));
  ExpectRun({path, "0", "1", "50000", "256"},
            kHead + "0.000\t25000\t" + Dots(256) + "\n0.001\t75000\t" + Dots(257) +
                "\n0.001\t125000\t" + Dots(257) + "\nShowing values above -96 dB\n" +
                "Peak over interval 0.0 dB\n",
            0);
}

struct IntervalCase {
  int resolution;
  std::string rows;
};

TEST(RunRows, IntervalChoosesTheStampFormat) {
  // 48000 Hz, two blocks at level 1.0 each.
  const IntervalCase cases[] = {
      {1200, "0.01\t.\n0.04\t.\n"},          // 0.025 s: two decimals
      {49, "0.001\t.\n0.002\t.\n"},          // just over 0.001 s: three
      {48, "0.001\t24\t.\n0.002\t72\t.\n"},  // 0.001 s: frame index too
  };
  for (const IntervalCase& c : cases) {
    SCOPED_TRACE(c.resolution);
    const std::string path = WriteTemp("interval" + std::to_string(c.resolution) + ".wav",
                                       WavFile({1, 1, 48000, 16}, Pcm16Run(256, 2 * c.resolution)));
    std::string expected = kHead;
    expected += c.rows;
    expected += kAbove48;
    expected += "Peak over interval -42.1 dB\n";
    ExpectRun({path, "0", "1", std::to_string(c.resolution)}, expected, 0);
  }
}

TEST(RunRows, TypicalStereoSecondGivesTwentyRows) {
  // 1.1 s of 44100 Hz stereo; the first second is (2.0, 4.0), the rest
  // full scale, which the span 0..1 s must leave out.
  std::string samples;
  for (int i = 0; i < 44100; ++i) samples += Pcm16({512, 1024});
  for (int i = 0; i < 4410; ++i) samples += Pcm16({32767, -32768});
  const std::string path = WriteTemp("typical.wav", WavFile({1, 2, 44100, 16}, samples));
  ExpectRun({path, "0", "1"},
            kHead +
                "0.03\t...\n0.08\t...\n0.13\t...\n0.18\t...\n0.23\t...\n"
                "0.28\t...\n0.33\t...\n0.38\t...\n0.43\t...\n0.48\t...\n"
                "0.53\t...\n0.58\t...\n0.63\t...\n0.68\t...\n0.73\t...\n"
                "0.78\t...\n0.83\t...\n0.88\t...\n0.93\t...\n0.98\t...\n" +
                kAbove48 + "Peaks over interval -36.1 L -30.1 R\n",
            0);
}

TEST(RunRows, SamplesBetweenWholeBytesTakeTheNextWholeByte) {
  // Stored as the next wider whole-byte sample, resolution 4: 12 and 15 bits
  // as 16-bit samples, 20 bits as 24-bit ones.
  std::string stereo15 = Pcm16({512, -1024, 512, -1024, 512, -1024, 512, -1024});
  stereo15 += Pcm16({256, 0, -256, 0, 256, 0, -256, 0});
  const struct {
    WavFormat format;
    std::string samples;
    std::string out;
  } cases[] = {
      // 2.0 then 3.0.
      {{1, 1, 1000, 12},
       Pcm16({512, -512, 512, -512, 768, 768, 768, -768}),
       kHead + "0.002\t..\n0.006\t...\n" + kAbove48 + "Peak over interval -32.6 dB\n"},
      // Left 2.0 and right 4.0, then left 1.0 and right 0.
      {{1, 2, 1000, 15},
       stereo15,
       kHead + "0.002\t...\n0.006\t\n" + kAbove48 + "Peaks over interval -36.1 L -30.1 R\n"},
      // 3.0 then 1.0.
      {{1, 1, 1000, 20},
       Pcm24({196608, -196608, 196608, -196608, 65536, 65536, -65536, 65536}),
       kHead + "0.002\t...\n0.006\t.\n" + kAbove48 + "Peak over interval -32.6 dB\n"},
  };
  for (const auto& c : cases) {
    const WavFormat& format = c.format;
    SCOPED_TRACE(std::to_string(format.bitsPerSample) + "-bit x" + std::to_string(format.channels));
    const std::string path = WriteTemp("between" + std::to_string(format.bitsPerSample) + "x" +
                                           std::to_string(format.channels) + ".wav",
                                       WavFile(format, c.samples));
    ExpectRun({path, "0", "1", "4"}, c.out, 0);
  }
}

// ---------------------------------------------------------------------------
// 4-byte samples

TEST(RunFloat, MonoFloatRowsAndPeak) {
  // 0.5 and -0.5 are 64 on the level scale; 0.25 and -0.125 average 24.
  const std::string path =
      WriteTemp("float-mono.wav", WavFile({3, 1, 1000, 32}, Floats({0.5f, -0.5f, 0.25f, -0.125f})));
  ExpectRun({path, "0", "1", "2"},
            kHead + "0.001\t" + Dots(64) + "\n0.003\t" + Dots(24) + "\n" + kAbove48 +
                "Peak over interval -6.0 dB\n",
            0);
}

TEST(RunFloat, StereoFloatUsesBothHalvesOfTheFrame) {
  // Left 0.5 (64), right -0.25 (32): level 48.
  const std::string path = WriteTemp(
      "float-stereo.wav", WavFile({3, 2, 1000, 32}, Floats({0.5f, -0.25f, 0.5f, -0.25f})));
  ExpectRun({path, "0", "1", "2"},
            kHead + "0.001\t" + Dots(48) + "\n" + kAbove48 + "Peaks over interval -6.0 L -12.0 R\n",
            0);
}

TEST(RunFloat, DigitalSilenceIsTheSmallestNonZeroLevel) {
  // All-zero bytes decode to 2^-120: -764.6 dB, not -inf, and no dots.
  const std::string zeros(16, '\0');
  ExpectRun({WriteTemp("silence-mono.wav", WavFile({3, 1, 1000, 32}, zeros)), "0", "1", "2"},
            kHead + "0.001\t\n0.003\t\n" + kAbove48 + "Peak over interval -764.6 dB\n", 0);
  ExpectRun(
      {WriteTemp("silence-stereo.wav", WavFile({3, 2, 1000, 32}, zeros)), "0", "1", "1"},
      kHead + "0.001\t1\t\n0.002\t2\t\n" + kAbove48 + "Peaks over interval -764.6 L -764.6 R\n", 0);
}

TEST(RunFloat, FourByteSamplesAreIntegersOnlyUnderIntegerPcm) {
  // The same stereo frames twice: left 0x3F000000, right 0x3F800000. As
  // integers they are 63 and 63.5, mean 63.25; as float bit patterns 0.5 and
  // 1.0, levels 64 and 128, mean 96.
  const std::string samples = Words({0x3F000000u, 0x3F800000u, 0x3F000000u, 0x3F800000u});
  const std::string integers =
      kHead + "0.001\t" + Dots(63) + "\n" + kAbove48 + "Peaks over interval -6.2 L -6.1 R\n";
  const std::string floats =
      kHead + "0.001\t" + Dots(96) + "\n" + kAbove48 + "Peaks over interval -6.0 L 0.0 R\n";
  const WavFormat integer{1, 2, 1000, 32};
  const WavFormat ieee{3, 2, 1000, 32};
  // An extensible format chunk cut off before its subformat code, which
  // takes bytes 32 and 33 after the tag: the data chunk comes first, and the
  // file ends 32 bytes after the format tag.
  const std::string dataFirst = RiffWave(Chunk("data", samples) + FormatChunk(integer, 40));
  const size_t formatTag = 12 + 8 + samples.size();
  const struct {
    const char* name;
    std::string file;
    const std::string& out;
  } cases[] = {
      {"format code 1", WavFile(integer, samples), integers},
      {"extensible, subformat 1", RiffWave(FormatChunk(integer, 40) + Chunk("data", samples)),
       integers},
      {"format code 3", WavFile(ieee, samples), floats},
      {"extensible, subformat 3", RiffWave(FormatChunk(ieee, 40) + Chunk("data", samples)), floats},
      {"unknown format code 2", WavFile({2, 2, 1000, 32}, samples), floats},
      {"extensible, subformat cut off", dataFirst.substr(0, formatTag + 32), floats},
      {"extensible, the file ending with its subformat", dataFirst.substr(0, formatTag + 34),
       integers},
      {"28 bits of integer PCM in 4 bytes", WavFile({1, 2, 1000, 28}, samples), integers},
      {"28 bits under the float code", WavFile({3, 2, 1000, 28}, samples), floats},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectRun({WriteTemp(std::string("four-byte ") + c.name + ".wav", c.file), "0", "1", "2"},
              c.out, 0);
  }
}

// ---------------------------------------------------------------------------
// Files that other tools wrote

// Made by tests/data/make.sh with sox and ffmpeg, and committed.
std::string DataPath(const std::string& name) { return std::string(OSTREL_TEST_DATA) + "/" + name; }

// The layout and byte order the probe finds in the file.
std::pair<SampleLayout, ByteOrder> ProbedLayout(const std::string& path) {
  WaveInput input;
  EXPECT_TRUE(OpenWaveInput(path.c_str(), &input));
  WaveHeader header;
  EXPECT_EQ(GetAttributes(&input, &header).status, 0);
  CloseWaveInput(&input);
  return {header.layout, header.byteOrder};
}

const std::vector<std::vector<std::string>> kSpans = {
    {"0", "1"}, {"0", "1", "1"}, {"0.01", "0.04", "13", "3"}, {"0", "1", "7", "256"}};

std::vector<std::string> Args(const std::string& path, const std::vector<std::string>& span) {
  std::vector<std::string> args = {path};
  args.insert(args.end(), span.begin(), span.end());
  return args;
}

TEST(RunOtherTools, FilesPrintWhatTheSameAudioInAPlainLayoutPrints) {
  // Each file beside the same audio that the same tool wrote, and decoded,
  // in a layout read long before: G.711 beside its 16-bit expansion (G.711
  // expands to 16-bit values), RIFX beside RIFF, 64-bit float beside each
  // sample's nearest 32-bit float. The two print the same bytes.
  constexpr ByteOrder kLe = ByteOrder::kLittleEndian;
  constexpr ByteOrder kBe = ByteOrder::kBigEndian;
  const struct {
    const char* file;
    const char* plain;
    SampleLayout layout;
    ByteOrder order;
  } cases[] = {
      {"ulaw-sox.wav", "ulaw-sox-s16.wav", SampleLayout::kMuLaw, kLe},
      {"alaw-sox.wav", "alaw-sox-s16.wav", SampleLayout::kALaw, kLe},
      {"ulaw-ffmpeg.wav", "ulaw-ffmpeg-s16.wav", SampleLayout::kMuLaw, kLe},
      {"alaw-ffmpeg.wav", "alaw-ffmpeg-s16.wav", SampleLayout::kALaw, kLe},
      {"rifx16-sox.wav", "rifx16-sox-riff.wav", SampleLayout::kSigned16, kBe},
      {"rifx24-sox.wav", "rifx24-sox-riff.wav", SampleLayout::kSigned24, kBe},
      {"f64-sox.wav", "f64-sox-f32.wav", SampleLayout::kFloat64, kLe},
      {"rifx-f64-sox.wav", "rifx-f64-sox-f32.wav", SampleLayout::kFloat64, kBe},
      {"f64-ffmpeg.wav", "f64-ffmpeg-f32.wav", SampleLayout::kFloat64, kLe},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string file = DataPath(c.file);
    const std::string plain = DataPath(c.plain);
    // The file is of the layout it stands for, and the plain copy is not
    // the same bytes.
    EXPECT_EQ(ProbedLayout(file), std::make_pair(c.layout, c.order));
    ASSERT_NE(ReadFile(file), ReadFile(plain));
    for (const auto& span : kSpans) {
      SCOPED_TRACE(span[1]);
      const ToolRun wanted = RunTool(Args(plain, span));
      ASSERT_EQ(wanted.status, 0) << wanted.out;
      ASSERT_NE(wanted.out.find("\t."), std::string::npos) << "rows with dots: " << wanted.out;
      ExpectRun(Args(file, span), wanted.out, 0);
    }
  }
}

TEST(RunOtherTools, FourChannelsPrintTheRowsOfTheirSamplesInOneChannelAndThePeakOfEach) {
  // sox's four 16-bit channels, the third silent. A block of R frames of
  // four channels sums the same 4R samples as a block of 4R frames of the
  // same data bytes read as one channel at four times the rate, and is
  // divided by the same 4R, at the same times when R is even (a row stands
  // at its block's end less R / 2 frames, cut to a whole frame): the same
  // rows. Each channel's peak is that of the channel taken out alone.
  const std::string quad = DataPath("quad16-sox.wav");
  const std::string mono = DataPath("quad16-sox-as-mono.wav");
  const std::string last = "Peak over interval ";
  const struct {
    std::vector<std::string> span, monoSpan;
  } cases[] = {
      {{"0", "1"}, {"0", "1"}},  // the default resolutions: 400 and 1600 frames
      {{"0", "1", "40"}, {"0", "1", "160"}},
      // Blocks of over 0.001 s: a row of a shorter one carries its frame
      // number, which is four times larger in one channel.
      {{"0", "1", "10", "2"}, {"0", "1", "40", "2"}},
      // Times whose frames are whole at both rates.
      {{"0.015625", "0.046875", "14", "3"}, {"0.015625", "0.046875", "56", "3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.span.size() > 2 ? c.span[2] : "default");
    const ToolRun rows = RunTool(Args(mono, c.monoSpan));
    ASSERT_EQ(rows.status, 0);
    const size_t peakLine = rows.out.rfind(last);
    ASSERT_NE(peakLine, std::string::npos) << rows.out;
    std::string wanted = rows.out.substr(0, peakLine) + "Peaks over interval";
    for (int channel = 1; channel <= 4; ++channel) {
      const ToolRun alone =
          RunTool(Args(DataPath("quad16-sox-ch" + std::to_string(channel) + ".wav"), c.span));
      const size_t at = alone.out.rfind(last);
      ASSERT_NE(at, std::string::npos) << alone.out;
      const size_t value = at + last.size();
      wanted += " " + alone.out.substr(value, alone.out.find(" dB\n", value) - value);
    }
    wanted += "\n";
    ASSERT_NE(wanted.find(" -inf "), std::string::npos) << "the silent channel: " << wanted;
    ExpectRun(Args(quad, c.span), wanted, 0);
  }
}

}  // namespace
