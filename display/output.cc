#include "display/output.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>

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
