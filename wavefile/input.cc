#include "wavefile/input.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// One read(2) of the stream, retried when a signal cuts it short. A stream
// that the parent process left non-blocking (O_NONBLOCK on a shared
// standard input) says EAGAIN while its writer pauses: wait until it has
// data or ends, never spin.
ssize_t ReadStream(int fd, unsigned char* to, size_t bytes) {
  for (;;) {
    const ssize_t n = read(fd, to, bytes);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return n;
    pollfd ready{fd, POLLIN, 0};
    if (poll(&ready, 1, -1) < 0 && errno != EINTR) return -1;
  }
}

int ReadFile(int fd, uint64_t position, unsigned char* to, size_t bytes, size_t* got) {
  size_t done = 0;
  while (done < bytes) {
    const ssize_t n = pread(fd, to + done, bytes - done, static_cast<off_t>(position + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  *got = done;
  return 0;
}

int ReadFromStream(WaveInput* input, uint64_t position, unsigned char* to, size_t bytes,
                   size_t* got) {
  *got = 0;
  // The head the probe read may already hold the first frames.
  if (position < input->headLength) {
    const size_t kept = input->headLength - static_cast<size_t>(position);
    *got = kept < bytes ? kept : bytes;
    std::memcpy(to, input->head + position, *got);
    return 0;
  }
  while (input->consumed < position) {
    if (input->outputBroken != nullptr && input->outputBroken(input->outputContext))
      return kOutputBroken;
    const uint64_t skip = position - input->consumed;
    const ssize_t n = ReadStream(input->fd, to, skip < bytes ? static_cast<size_t>(skip) : bytes);
    if (n < 0) return errno;
    if (n == 0) return 0;
    input->consumed += static_cast<uint64_t>(n);
  }
  const ssize_t n = ReadStream(input->fd, to, bytes);
  if (n < 0) return errno;
  input->consumed += static_cast<uint64_t>(n);
  *got = static_cast<size_t>(n);
  return 0;
}

}  // namespace

bool OpenWaveInput(const char* path, WaveInput* input) {
  input->stream = false;
  input->base = 0;
  input->consumed = 0;
  input->headLength = 0;
  input->outputBroken = nullptr;
  if (std::strcmp(path, "-") == 0) {
    input->fd = STDIN_FILENO;
    input->ownsFd = false;
    return true;
  }
  input->fd = open(path, O_RDONLY | O_CLOEXEC);
  input->ownsFd = true;
  return input->fd >= 0;
}

void CloseWaveInput(WaveInput* input) {
  if (input->ownsFd && input->fd >= 0) close(input->fd);
  input->fd = -1;
}

int SettleWaveInput(WaveInput* input, uint64_t* length) {
  // A length that cannot be had is a read error, like any other.
  struct stat info;
  if (fstat(input->fd, &info) != 0) return errno;
  *length = 0;
  input->base = 0;
  // Files in /proc and sysfs say they hold 0 bytes and yet give data when
  // read: read them to their end, as `cat` would. An empty file reads the
  // same either way.
  input->stream = !S_ISREG(info.st_mode) || info.st_size == 0;
  if (input->stream) return 0;
  if (!input->ownsFd) {
    // `(head -c 7; ostrel - ...) < F` hands over a file read part way.
    const off_t offset = lseek(input->fd, 0, SEEK_CUR);
    if (offset > 0) input->base = static_cast<uint64_t>(offset);
  }
  const auto size = static_cast<uint64_t>(info.st_size);
  *length = size > input->base ? size - input->base : 0;
  return 0;
}

int ReadWaveInput(WaveInput* input, uint64_t position, unsigned char* to, size_t bytes,
                  size_t* got) {
  if (input->stream) return ReadFromStream(input, position, to, bytes, got);
  return ReadFile(input->fd, input->base + position, to, bytes, got);
}

Result ReadFailure(int error) {
  if (error == kOutputBroken) return OutputFailure(0);
  return {2, "Can't read wave file: ", error};
}

Result OutputFailure(int error) { return {2, "ostrel: cannot write standard output", error, true}; }
