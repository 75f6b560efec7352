// libFuzzer target: the whole program, in-process, on a file made of the
// fuzzer's bytes.
//
// The first bytes of an input choose the command line (fuzz_arguments.h); the
// rest is written to a scratch file that RunOstrel reads. RunOstrel returns
// its exit status on every path, so the fuzzer goes on with the next input.
//
// Standard output (descriptor 1) is /dev/null, still reached through the
// program's own formatting and writes; set OSTREL_FUZZ_SHOW_OUTPUT=1 to keep
// it and to see each command line and its status on standard error, for
// example when replaying a crash file. OSTREL_FUZZ_SCRATCH names the folder
// of the scratch file (default /dev/shm, else /tmp).
//
// Rows of billions of dots: any float sample with a large exponent field
// decodes to a level beyond 2^31, and the row then holds 2^31 - 1 dots, about
// a second of formatting each even into /dev/null. Left alone, such inputs
// eat most of the fuzzing time. So the target is linked with -Wl,--wrap=write
// and counts the bytes of each row written to descriptor 1: once a row passes
// OSTREL_FUZZ_ROW_LIMIT bytes (default 2^20, far above the 32768 dots of any
// integer sample; 0 turns the cut off) that write fails with EFBIG, and the
// program's own handling of a failed output ends the run with status 2 and
// its line on standard error. The first few such inputs of each process are
// saved as long-row-* files in OSTREL_FUZZ_LONG_ROWS, when that names a
// folder.
//
// After every run the target checks what a run must leave behind: a status of
// 0, 1 or 2, and 2 after a cut; no write to standard output after one has
// failed; no failed write to /dev/null; and no file descriptor left open (the
// heap is LeakSanitizer's job).

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/run.h"
#include "fuzz/fuzz_arguments.h"

extern "C" ssize_t __real_write(int fd, const void* data, size_t bytes);

namespace {

size_t rowLimit = size_t{1} << 20;
std::string longRowFolder;
int longRowsSaved = 0;
constexpr int kMostLongRowsSaved = 3;

// What the writes of the current run to descriptor 1 have shown.
struct RunOutput {
  bool active = false;
  size_t rowBytes = 0;         // written since the last newline
  bool cut = false;            // a write was failed here, for a long row
  int failure = 0;             // errno of a write that failed by itself
  int writesAfterFailure = 0;  // tried once a write had failed
} output;

bool showOutput = false;
std::string scratchFolder;
std::string filePath;
std::string longPath;     // the same file, by a path longer than 255 bytes
std::string missingPath;  // never created

// The lowest descriptor number not in use. A descriptor that a run leaves
// open takes that number, so it is higher after the run than before.
int LowestFreeDescriptor() {
  const int fd = fcntl(STDOUT_FILENO, F_DUPFD, 0);
  if (fd < 0) {
    std::perror("ostrel_fuzz: F_DUPFD");
    std::abort();
  }
  close(fd);
  return fd;
}

[[noreturn]] void ReportLeakedDescriptors(int from, int to) {
  for (int fd = from; fd < to; ++fd) {
    char link[64];
    char target[4096] = "?";
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n >= 0) target[n] = '\0';
    std::fprintf(stderr, "ostrel_fuzz: the run left descriptor %d open (%s)\n", fd, target);
  }
  std::abort();
}

[[noreturn]] void Finding(const char* what) {
  std::fprintf(stderr, "ostrel_fuzz: %s\n", what);
  std::abort();
}

std::string ScratchFolder() {
  if (const char* chosen = std::getenv("OSTREL_FUZZ_SCRATCH")) return chosen;
  if (access("/dev/shm", W_OK) == 0) return "/dev/shm";
  return "/tmp";
}

void RemoveScratchFile() { unlink(filePath.c_str()); }

// Writes the bytes to a new file at path; false, with a line on standard
// error, when that fails.
bool SaveFile(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  const bool written = file != nullptr && std::fwrite(data, 1, size, file) == size;
  if ((file != nullptr && std::fclose(file) != 0) || !written) {
    std::perror(("ostrel_fuzz: cannot write " + path).c_str());
    return false;
  }
  return true;
}

// FNV-1a, to name a saved input by its content.
uint64_t Fingerprint(const uint8_t* data, size_t size) {
  uint64_t hash = 14695981039346656037u;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211u;
  return hash;
}

void SaveLongRowInput(const uint8_t* data, size_t size) {
  if (longRowFolder.empty() || longRowsSaved >= kMostLongRowsSaved) return;
  ++longRowsSaved;
  char name[32];
  std::snprintf(name, sizeof name, "long-row-%016llx",
                static_cast<unsigned long long>(Fingerprint(data, size)));
  SaveFile(longRowFolder + "/" + name, data, size);
}

// Whether these bytes, after the rowBytes already written, take a row past
// the limit; moves rowBytes on to the bytes after their last newline.
bool RowTooLong(const char* bytes, size_t length) {
  bool tooLong = false;
  for (const char* end = bytes + length; bytes < end;) {
    const auto* newline =
        static_cast<const char*>(std::memchr(bytes, '\n', static_cast<size_t>(end - bytes)));
    output.rowBytes += static_cast<size_t>((newline != nullptr ? newline : end) - bytes);
    tooLong = tooLong || output.rowBytes > rowLimit;
    if (newline == nullptr) break;
    output.rowBytes = 0;
    bytes = newline + 1;
  }
  return tooLong;
}

const std::string& PathFor(ostrel_fuzz::PathForm form) {
  switch (form) {
    case ostrel_fuzz::PathForm::kLongPath:
      return longPath;
    case ostrel_fuzz::PathForm::kMissing:
      return missingPath;
    case ostrel_fuzz::PathForm::kDirectory:
      return scratchFolder;
    case ostrel_fuzz::PathForm::kFile:
      break;
  }
  return filePath;
}

}  // namespace

// Every write of the program; those of a run to standard output are watched.
extern "C" ssize_t __wrap_write(int fd, const void* data, size_t bytes) {
  if (!output.active || fd != STDOUT_FILENO) return __real_write(fd, data, bytes);
  if (output.cut || output.failure != 0) ++output.writesAfterFailure;
  if (output.cut || (rowLimit != 0 && RowTooLong(static_cast<const char*>(data), bytes))) {
    output.cut = true;
    errno = EFBIG;
    return -1;
  }
  const ssize_t written = __real_write(fd, data, bytes);
  if (written < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
    output.failure = errno;
  return written;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  showOutput = std::getenv("OSTREL_FUZZ_SHOW_OUTPUT") != nullptr;
  if (const char* limit = std::getenv("OSTREL_FUZZ_ROW_LIMIT"))
    rowLimit = std::strtoull(limit, nullptr, 10);
  if (const char* folder = std::getenv("OSTREL_FUZZ_LONG_ROWS")) longRowFolder = folder;
  scratchFolder = ScratchFolder();
  const std::string name = "ostrel-fuzz-" + std::to_string(getpid());
  filePath = scratchFolder + "/" + name + ".wav";
  longPath = scratchFolder + std::string(300, '/') + name + ".wav";
  missingPath = scratchFolder + "/" + name + ".missing";
  std::atexit(RemoveScratchFile);
  // The program writes descriptor 1 itself, so /dev/null is put on that
  // descriptor, not only behind the stdout stream.
  if (!showOutput) {
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0 || (null != STDOUT_FILENO && close(null) != 0)) {
      std::perror("ostrel_fuzz: /dev/null");
      std::abort();
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A short input still runs: the missing selector bytes count as 0, and the
  // file is empty.
  uint8_t prefix[ostrel_fuzz::kPrefixBytes] = {};
  const size_t prefixSize = size < sizeof prefix ? size : sizeof prefix;
  std::memcpy(prefix, data, prefixSize);
  if (!SaveFile(filePath, data + prefixSize, size - prefixSize)) std::abort();

  const ostrel_fuzz::CommandLine line = ostrel_fuzz::DecodePrefix(prefix);
  std::vector<std::string> arguments = {"ostrel",  PathFor(line.pathForm), line.start,
                                        line.stop, line.resolution,        line.magnification,
                                        "extra"};
  arguments.resize(static_cast<size_t>(line.argumentCount) + 1);
  // The options go before the file, so they do not count as arguments.
  if (line.endOfOptions) arguments.insert(arguments.begin() + 1, "--");
  if (line.json) arguments.insert(arguments.begin() + 1, "--json");
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  if (showOutput) {
    std::fprintf(stderr, "ostrel_fuzz: ostrel");
    for (size_t i = 1; i < arguments.size(); ++i)
      std::fprintf(stderr, " '%s'", arguments[i].c_str());
    std::fprintf(stderr, "\n");
  }

  // Measured here, not once at start: libFuzzer itself keeps files open
  // across runs in some modes (the control file of a merge).
  const int freeBefore = LowestFreeDescriptor();
  output = RunOutput{};
  output.active = true;
  const int status = RunOstrel(static_cast<int>(arguments.size()), argv.data());
  output.active = false;

  if (output.cut) SaveLongRowInput(data, size);
  if (showOutput) {
    if (output.cut)
      std::fprintf(stderr, "\nostrel_fuzz: cut short: a row of more than %zu bytes\n", rowLimit);
    std::fprintf(stderr, "ostrel_fuzz: status %d\n", status);
  }
  if (status < 0 || status > 2) Finding("the run ended with a status other than 0, 1 or 2");
  if (output.cut && status != 2)
    Finding("the run was cut by a failed write but did not end with 2");
  if (output.writesAfterFailure != 0)
    Finding("the run wrote standard output again after a write there had failed");
  if (!showOutput && output.failure != 0) Finding("a write to /dev/null failed");
  const int freeAfter = LowestFreeDescriptor();
  if (freeAfter != freeBefore) ReportLeakedDescriptors(freeBefore, freeAfter);
  return 0;
}
