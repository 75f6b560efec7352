#include "display/output.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int failure = 0;  // errno of the write that failed

}  // namespace

void StartOutput() { failure = 0; }

bool WriteOutput(const char* bytes, size_t length) {
  while (length > 0 && failure == 0) {
    const ssize_t n = write(STDOUT_FILENO, bytes, length);
    if (n >= 0) {
      bytes += n;
      length -= static_cast<size_t>(n);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd ready{STDOUT_FILENO, POLLOUT, 0};
      if (poll(&ready, 1, -1) < 0 && errno != EINTR) failure = errno;
    } else if (errno != EINTR) {
      failure = errno;
    }
  }
  return failure == 0;
}

bool WriteLine(const char* first, const char* second, const char* third) {
  const size_t lengths[] = {std::strlen(first), std::strlen(second), std::strlen(third)};
  const size_t length = lengths[0] + lengths[1] + lengths[2] + 1;
  // A path makes the line as long as it likes; without the memory for it,
  // the pieces go one by one.
  auto* line = static_cast<char*>(std::malloc(length));
  if (line == nullptr) {
    return WriteOutput(first, lengths[0]) && WriteOutput(second, lengths[1]) &&
           WriteOutput(third, lengths[2]) && WriteOutput("\n", 1);
  }
  std::memcpy(line, first, lengths[0]);
  std::memcpy(line + lengths[0], second, lengths[1]);
  std::memcpy(line + lengths[0] + lengths[1], third, lengths[2]);
  line[length - 1] = '\n';
  const bool written = WriteOutput(line, length);
  std::free(line);
  return written;
}

bool PrintOutput(const char* format, ...) {
  char text[256];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return length >= 0 && WriteOutput(text, static_cast<size_t>(length));
}

int OutputError() { return failure; }

bool OutputBroken() {
  if (failure != 0) return true;
  struct stat info;
  if (fstat(STDOUT_FILENO, &info) != 0 || !(S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)))
    return false;
  pollfd state{STDOUT_FILENO, 0, 0};
  if (poll(&state, 1, 0) != 1 || (state.revents & (POLLERR | POLLHUP)) == 0) return false;
  return !WriteOutput("\n", 1);
}
