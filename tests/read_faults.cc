// A library the tests load into runs of build/ostrel with LD_PRELOAD, to make
// reads fail as a failing disk or a broken device would, and to see the
// writes that fail:
//   OSTREL_FAIL_READ_AFTER=N  read() and pread() fail with EIO once N bytes
//                             have been read in all
//   OSTREL_FAIL_FSTAT=1       fstat() fails with EIO
//   OSTREL_NOTE_FAILED_WRITES=1  every write() to standard output that
//                             fails writes "write failed" on standard error
// Each injected failure writes "read fault injected" on standard error, so a
// test knows whether a run got as far as the fault.
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

template <size_t Length>
void Note(const char (&note)[Length]) {
  static auto next = Next<ssize_t (*)(int, const void*, size_t)>("write");
  if (next(STDERR_FILENO, note, Length - 1) < 0) {
    // Nothing more can be said.
  }
}

int Fail() {
  Note("read fault injected\n");
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

ssize_t write(int fd, const void* from, size_t count) {
  static auto next = Next<ssize_t (*)(int, const void*, size_t)>("write");
  const ssize_t n = next(fd, from, count);
  if (n < 0 && fd == STDOUT_FILENO && std::getenv("OSTREL_NOTE_FAILED_WRITES") != nullptr) {
    const int error = errno;
    Note("write failed\n");
    errno = error;
  }
  return n;
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
