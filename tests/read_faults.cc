// A library the tests load into runs of build/ostrel with LD_PRELOAD, to make
// reads fail as a failing disk or a broken device would:
//   OSTREL_FAIL_READ_AFTER=N  read() and pread() fail with EIO once N bytes
//                             have been read in all
//   OSTREL_FAIL_FSTAT=1       fstat() fails with EIO
// Each failure writes "read fault injected" on standard error, so a test
// knows whether a run got as far as the fault.
#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

unsigned long long bytesRead = 0;

template <typename Function>
Function Next(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int Fail() {
  static const char kNote[] = "read fault injected\n";
  if (write(STDERR_FILENO, kNote, sizeof kNote - 1) < 0) {
    // Nothing more can be said.
  }
  errno = EIO;
  return -1;
}

// Whether the next read fails; otherwise how many bytes it may return.
bool ReadFails(size_t* count) {
  const char* limit = std::getenv("OSTREL_FAIL_READ_AFTER");
  if (limit == nullptr) return false;
  const unsigned long long after = std::strtoull(limit, nullptr, 10);
  if (bytesRead >= after) return true;
  if (*count > after - bytesRead) *count = static_cast<size_t>(after - bytesRead);
  return false;
}

ssize_t Counted(ssize_t n) {
  if (n > 0) bytesRead += static_cast<unsigned long long>(n);
  return n;
}

bool FstatFails() { return std::getenv("OSTREL_FAIL_FSTAT") != nullptr; }

}  // namespace

extern "C" {

ssize_t read(int fd, void* to, size_t count) {
  if (ReadFails(&count)) return Fail();
  static auto next = Next<ssize_t (*)(int, void*, size_t)>("read");
  return Counted(next(fd, to, count));
}

ssize_t pread(int fd, void* to, size_t count, off_t position) {
  if (ReadFails(&count)) return Fail();
  static auto next = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread");
  return Counted(next(fd, to, count, position));
}

ssize_t pread64(int fd, void* to, size_t count, off64_t position) {
  if (ReadFails(&count)) return Fail();
  static auto next = Next<ssize_t (*)(int, void*, size_t, off64_t)>("pread64");
  return Counted(next(fd, to, count, position));
}

int fstat(int fd, struct stat* info) {
  if (FstatFails()) return Fail();
  static auto next = Next<int (*)(int, struct stat*)>("fstat");
  return next(fd, info);
}

int fstat64(int fd, struct stat64* info) {
  if (FstatFails()) return Fail();
  static auto next = Next<int (*)(int, struct stat64*)>("fstat64");
  return next(fd, info);
}

}  // extern "C"
