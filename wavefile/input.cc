#include "wavefile/input.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// One read(2) of the stream, retried when a signal cuts it short.
ssize_t ReadStream(int fd, unsigned char* to, size_t bytes) {
  ssize_t n;
  do n = read(fd, to, bytes);
  while (n < 0 && errno == EINTR);
  return n;
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
  // Whatever reached standard output goes out before the wait for input.
  std::fflush(stdout);
  while (input->consumed < position) {
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
  input->consumed = 0;
  input->headLength = 0;
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

int ReadWaveInput(WaveInput* input, uint64_t position, unsigned char* to, size_t bytes,
                  size_t* got) {
  if (input->stream) return ReadFromStream(input, position, to, bytes, got);
  return ReadFile(input->fd, position, to, bytes, got);
}

void ReadFault(WaveInput* input, int error) {
  CloseWaveInput(input);
  std::printf("Can't read wave file: %s\n", std::strerror(error));
  std::exit(2);
}
