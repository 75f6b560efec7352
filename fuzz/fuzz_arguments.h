// How a fuzz input chooses the command line of one run.
//
// The first kPrefixBytes bytes of an input pick the arguments; the rest is the
// file that the run reads. Byte 0 picks the argument count, the form of the
// path (the file itself, the same file by a path over 255 bytes, a missing
// file, a directory) and the options before it (--json, and -- to end
// them); bytes 1 to 4 pick the start time, the stop time, the
// resolution and the magnification. A selector below its table's size takes
// that entry (odd values: negative, nan, inf, huge, not a number at all);
// above it, a plain number grows with the selector, so small mutations walk
// through ordinary spans and block lengths.
#ifndef OSTREL_FUZZ_FUZZ_ARGUMENTS_H
#define OSTREL_FUZZ_FUZZ_ARGUMENTS_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace ostrel_fuzz {

constexpr size_t kPrefixBytes = 5;

enum class PathForm { kFile, kLongPath, kMissing, kDirectory };

struct CommandLine {
  int argumentCount;  // arguments after the program name, 0 and up
  PathForm pathForm;
  std::string start;
  std::string stop;
  std::string resolution;
  std::string magnification;
  bool json = false;          // --json before the file: the report
  bool endOfOptions = false;  // -- before the file
};

// The command line that a prefix of kPrefixBytes bytes stands for.
CommandLine DecodePrefix(const uint8_t* prefix);

// The prefix for these choices. Each text must be a table entry or a number
// of the form the generated selectors give ("0.25" for times, "12" for
// resolutions, "1.5" for magnifications); anything else aborts, so that a
// seed never silently stands for a command line it does not spell out.
std::string EncodePrefix(int argumentCount, PathForm pathForm, const std::string& start,
                         const std::string& stop, const std::string& resolution,
                         const std::string& magnification, bool json = false,
                         bool endOfOptions = false);

}  // namespace ostrel_fuzz

#endif
