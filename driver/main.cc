#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/run.h"

namespace {

// Runs at every exit, the error exits included. Everything goes to standard
// output, so a write that failed there (a full disk, /dev/full) would
// otherwise end as a success with nothing written. A closed pipe never gets
// here: SIGPIPE ends the process quietly, as with other command-line tools.
void CheckOutput() {
  const bool flushed = std::fflush(stdout) == 0;
  if (flushed && !std::ferror(stdout)) return;
  // errno names the cause only when the last flush is what failed.
  if (flushed)
    std::fputs("ostrel: cannot write standard output\n", stderr);
  else
    std::fprintf(stderr, "ostrel: cannot write standard output: %s\n", std::strerror(errno));
  _exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  // Rows are short and many; into a file or a pipe they go out in large
  // writes. A terminal keeps its line buffering.
  static char outputBuffer[1 << 16];
  if (!isatty(STDOUT_FILENO)) std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
  std::atexit(CheckOutput);
  return RunOstrel(argc, argv);
}
