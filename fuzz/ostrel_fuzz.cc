// libFuzzer target: the whole program, in-process, on a file made of the
// fuzzer's bytes.
//
// The first bytes of an input choose the command line (fuzz_arguments.h); the
// rest is written to a scratch file that RunOstrel reads. The program ends its
// error paths with exit(); the target is linked with -Wl,--wrap=exit, so those
// calls land in __wrap_exit, which jumps back here while a run is active and
// the fuzzer goes on with the next input. The frames that the jump leaves hold
// no objects with destructors (the program keeps plain values and file
// descriptors), which is what makes leaving them by longjmp sound.
//
// Standard output goes to /dev/null, still through the program's own
// formatting; set OSTREL_FUZZ_SHOW_OUTPUT=1 to keep it and to see each
// command line and its status on standard error, for example when replaying a
// crash file. OSTREL_FUZZ_SCRATCH names the folder of the scratch file
// (default /dev/shm, else /tmp).
//
// Rows of billions of dots: any float sample with a large exponent field
// decodes to a level beyond 2^31, and the row then holds 2^31 - 1 dots, about
// a second of formatting each even into /dev/null. Left alone, such inputs
// eat most of the fuzzing time. So fwrite and fwrite_unlocked are wrapped as
// well: once a single row passes OSTREL_FUZZ_ROW_LIMIT bytes (default 2^20,
// far above the 32768 dots of any integer sample; 0 turns the cut off) the
// run is cut short, the files it opened (tracked through wrapped open and
// close) are closed, and the first few such inputs of each process are saved
// as long-row-* files in OSTREL_FUZZ_LONG_ROWS, when that names a folder. A
// row counts from the last newline that went through fwrite; output whose
// newlines go out another way is limited as a whole instead.
//
// After every run the target checks what a run must leave behind: an exit
// status of 0 from a return and 1 or 2 from an exit, no error on standard
// output, and no file descriptor left open (the heap is LeakSanitizer's job).

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/run.h"
#include "fuzz/fuzz_arguments.h"

extern "C" {
[[noreturn]] void __real_exit(int status);
size_t __real_fwrite(const void* data, size_t size, size_t count, std::FILE* stream);
size_t __real_fwrite_unlocked(const void* data, size_t size, size_t count, std::FILE* stream);
int __real_open(const char* path, int flags, ...);
int __real_close(int fd);
}

namespace {

// setjmp's answers: the run is on, it called exit, it was cut short.
enum Jump { kRunning = 0, kExited = 1, kCut = 2 };

std::jmp_buf runReturn;
volatile bool runActive = false;
volatile int exitStatus = 0;

size_t rowLimit = size_t{1} << 20;
size_t rowBytes = 0;        // written since the last newline
std::vector<int> runFiles;  // opened by the run and not yet closed
std::string longRowFolder;
int longRowsSaved = 0;
constexpr int kMostLongRowsSaved = 3;
const uint8_t* currentInput = nullptr;
size_t currentSize = 0;

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

std::string ScratchFolder() {
  if (const char* chosen = std::getenv("OSTREL_FUZZ_SCRATCH")) return chosen;
  if (access("/dev/shm", W_OK) == 0) return "/dev/shm";
  return "/tmp";
}

void RemoveScratchFile() { unlink(filePath.c_str()); }

void WriteScratchFile(const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(filePath.c_str(), "wb");
  if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
    std::perror(("ostrel_fuzz: cannot write " + filePath).c_str());
    std::abort();
  }
}

// FNV-1a, to name a saved input by its content.
uint64_t Fingerprint(const uint8_t* data, size_t size) {
  uint64_t hash = 14695981039346656037u;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211u;
  return hash;
}

void SaveLongRowInput() {
  if (longRowFolder.empty() || longRowsSaved >= kMostLongRowsSaved) return;
  ++longRowsSaved;
  char name[32];
  std::snprintf(name, sizeof name, "long-row-%016llx",
                static_cast<unsigned long long>(Fingerprint(currentInput, currentSize)));
  std::FILE* file = std::fopen((longRowFolder + "/" + name).c_str(), "wb");
  if (file == nullptr) return;
  __real_fwrite(currentInput, 1, currentSize, file);
  std::fclose(file);
}

// Counts what a run writes to standard output, row by row, and cuts the run
// when a row grows past the limit. Called before the bytes are handed to
// stdio, so no stream is left half-written or locked by the jump.
void CountOutput(const void* data, size_t bytes, std::FILE* stream) {
  if (!runActive || stream != stdout || rowLimit == 0) return;
  const auto* begin = static_cast<const char*>(data);
  const char* newline = static_cast<const char*>(memrchr(begin, '\n', bytes));
  rowBytes =
      newline != nullptr ? static_cast<size_t>(begin + bytes - newline - 1) : rowBytes + bytes;
  if (rowBytes <= rowLimit) return;
  runActive = false;
  SaveLongRowInput();
  std::longjmp(runReturn, kCut);
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

extern "C" [[noreturn]] void __wrap_exit(int status) {
  if (runActive) {
    runActive = false;
    exitStatus = status;
    std::longjmp(runReturn, kExited);
  }
  __real_exit(status);
}

extern "C" size_t __wrap_fwrite(const void* data, size_t size, size_t count, std::FILE* stream) {
  CountOutput(data, size * count, stream);
  return __real_fwrite(data, size, count, stream);
}

extern "C" size_t __wrap_fwrite_unlocked(const void* data, size_t size, size_t count,
                                         std::FILE* stream) {
  CountOutput(data, size * count, stream);
  return __real_fwrite_unlocked(data, size, count, stream);
}

// The program opens its input read-only, without O_CREAT, so no mode follows.
extern "C" int __wrap_open(const char* path, int flags, ...) {
  const int fd = __real_open(path, flags);
  if (runActive && fd >= 0) runFiles.push_back(fd);
  return fd;
}

extern "C" int __wrap_close(int fd) {
  runFiles.erase(std::remove(runFiles.begin(), runFiles.end(), fd), runFiles.end());
  return __real_close(fd);
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
  if (!showOutput && std::freopen("/dev/null", "w", stdout) == nullptr) {
    std::perror("ostrel_fuzz: /dev/null");
    std::abort();
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A short input still runs: the missing selector bytes count as 0, and the
  // file is empty.
  uint8_t prefix[ostrel_fuzz::kPrefixBytes] = {};
  const size_t prefixSize = size < sizeof prefix ? size : sizeof prefix;
  std::memcpy(prefix, data, prefixSize);
  WriteScratchFile(data + prefixSize, size - prefixSize);

  const ostrel_fuzz::CommandLine line = ostrel_fuzz::DecodePrefix(prefix);
  std::vector<std::string> arguments = {"ostrel",  PathFor(line.pathForm), line.start,
                                        line.stop, line.resolution,        line.magnification,
                                        "extra"};
  arguments.resize(static_cast<size_t>(line.argumentCount) + 1);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(arguments.size());

  if (showOutput) {
    std::fprintf(stderr, "ostrel_fuzz: ostrel");
    for (size_t i = 1; i < arguments.size(); ++i)
      std::fprintf(stderr, " '%s'", arguments[i].c_str());
    std::fprintf(stderr, "\n");
  }

  // Measured here, not once at start: libFuzzer itself keeps files open
  // across runs in some modes (the control file of a merge).
  const int freeBefore = LowestFreeDescriptor();
  currentInput = data;
  currentSize = size;
  rowBytes = 0;
  runFiles.clear();
  bool exited = false;
  bool cut = false;
  int status = 0;
  runActive = true;
  switch (setjmp(runReturn)) {
    case kRunning:
      status = RunOstrel(argc, argv.data());
      runActive = false;
      break;
    case kExited:
      exited = true;
      status = exitStatus;
      break;
    default:
      cut = true;
      // The run's own exit would have closed these.
      while (!runFiles.empty()) __wrap_close(runFiles.back());
      break;
  }

  if (showOutput) {
    std::fflush(stdout);
    if (cut)
      std::fprintf(stderr, "\nostrel_fuzz: cut short: a row of more than %zu bytes\n", rowLimit);
    else
      std::fprintf(stderr, "ostrel_fuzz: %s with status %d\n", exited ? "exit" : "return", status);
  }
  if (!cut && (exited ? status != 1 && status != 2 : status != 0)) {
    std::fprintf(stderr, "ostrel_fuzz: the run ended by %s with status %d\n",
                 exited ? "exit" : "return", status);
    std::abort();
  }
  if (std::ferror(stdout)) {
    std::fprintf(stderr, "ostrel_fuzz: writing standard output failed\n");
    std::abort();
  }
  const int freeAfter = LowestFreeDescriptor();
  if (freeAfter != freeBefore) ReportLeakedDescriptors(freeBefore, freeAfter);
  return 0;
}
