#include "fuzz/fuzz_arguments.h"

#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace ostrel_fuzz {
namespace {

// Argument counts after the program name; five (every argument read) twice,
// as the count that reaches the most of the program.
constexpr int kArgumentCounts[8] = {5, 5, 3, 4, 6, 7, 2, 0};

// Times as a user could type them, and the odd ones: signs, nan and inf,
// values beyond float and beyond 2^32 frames, hexadecimal, leading blanks,
// trailing junk and text with no number at all.
const char* const kTimes[] = {
    "0",          "-0",       "0.7",     "1",          "10",       "60",          "3600",
    "-1",         "-0.00001", "1e-9",    "nan",        "-nan",     "inf",         "-inf",
    "infinity",   "1e30",     "-1e30",   "3.4e38",     "1e39",     "-1e39",       "4294967295",
    "4294967296", "9.3e18",   "-9.3e18", "2147483648", "0x1p-4",   "  0.25",      "0.25abc",
    "abc",        "",         "+.5",     "1e",         "0.000125", "-4294967296",
};

// Resolutions around the signed and unsigned 32-bit limits and beyond the
// range of long, with the same kinds of odd text.
const char* const kResolutions[] = {
    "0",          "1",          "2",          "3",          "4",           "5",
    "7",          "16",         "40",         "100",        "441",         "1000",
    "2205",       "44100",      "-1",         "-20",        "-2147483648", "2147483647",
    "2147483648", "4294967295", "4294967296", "4294967297", "-4294967297", "99999999999999999999",
    "abc",        "",           " 12",        "+5",         "1e3",         "0x10",
    "0009",       "12abc",
};

// Magnifications at and around the accepted range (0, 256].
const char* const kMagnifications[] = {
    "1",     "2",   "0.5", "256", "256.00001", "256.1", "0.00390625", "0.001",
    "0",     "-0",  "-3",  "nan", "-nan",      "inf",   "-inf",       "1e-30",
    "1e-45", "300", "100", "abc", "",          "1e39",  "0x1p-8",     "7.5",
};

template <size_t N>
std::string Pick(const char* const (&table)[N], uint8_t selector, const char* format, double step) {
  if (selector < N) return table[selector];
  char text[32];
  std::snprintf(text, sizeof text, format, (selector - N) * step);
  return text;
}

template <size_t N>
uint8_t SelectorOf(const char* const (&table)[N], const std::string& text, const char* format,
                   double step) {
  for (unsigned s = 0; s < 256; ++s) {
    if (Pick(table, static_cast<uint8_t>(s), format, step) == text) return static_cast<uint8_t>(s);
  }
  std::fprintf(stderr, "no fuzz selector gives the argument \"%s\"\n", text.c_str());
  std::abort();
}

std::string PickTime(uint8_t s) { return Pick(kTimes, s, "%.2f", 0.01); }
std::string PickResolution(uint8_t s) { return Pick(kResolutions, s, "%.0f", 1); }
std::string PickMagnification(uint8_t s) { return Pick(kMagnifications, s, "%g", 0.125); }

PathForm PathFormOf(unsigned bits) {
  switch (bits) {
    case 5:
      return PathForm::kLongPath;
    case 6:
      return PathForm::kMissing;
    case 7:
      return PathForm::kDirectory;
    default:
      return PathForm::kFile;
  }
}

}  // namespace

CommandLine DecodePrefix(const uint8_t* prefix) {
  CommandLine line;
  line.argumentCount = kArgumentCounts[prefix[0] & 7];
  line.pathForm = PathFormOf((prefix[0] >> 3) & 7);
  line.start = PickTime(prefix[1]);
  line.stop = PickTime(prefix[2]);
  line.resolution = PickResolution(prefix[3]);
  line.magnification = PickMagnification(prefix[4]);
  line.json = (prefix[0] & 0x40) != 0;
  line.endOfOptions = (prefix[0] & 0x80) != 0;
  return line;
}

std::string EncodePrefix(int argumentCount, PathForm pathForm, const std::string& start,
                         const std::string& stop, const std::string& resolution,
                         const std::string& magnification, bool json, bool endOfOptions) {
  unsigned count = 0;
  while (count < std::size(kArgumentCounts) && kArgumentCounts[count] != argumentCount) ++count;
  if (count == std::size(kArgumentCounts)) {
    std::fprintf(stderr, "no fuzz selector gives %d arguments\n", argumentCount);
    std::abort();
  }
  unsigned path = 0;
  switch (pathForm) {
    case PathForm::kFile:
      path = 0;
      break;
    case PathForm::kLongPath:
      path = 5;
      break;
    case PathForm::kMissing:
      path = 6;
      break;
    case PathForm::kDirectory:
      path = 7;
      break;
  }
  std::string prefix(kPrefixBytes, '\0');
  prefix[0] = static_cast<char>(count | path << 3 | (json ? 0x40 : 0) | (endOfOptions ? 0x80 : 0));
  prefix[1] = static_cast<char>(SelectorOf(kTimes, start, "%.2f", 0.01));
  prefix[2] = static_cast<char>(SelectorOf(kTimes, stop, "%.2f", 0.01));
  prefix[3] = static_cast<char>(SelectorOf(kResolutions, resolution, "%.0f", 1));
  prefix[4] = static_cast<char>(SelectorOf(kMagnifications, magnification, "%g", 0.125));
  return prefix;
}

}  // namespace ostrel_fuzz
