#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/run.h"

namespace {

// Standard output writes each piece at once (a file or a pipe).
bool unbuffered = false;

// Runs at every exit, the error exits included. Everything goes to standard
// output, so a write that failed there (a full disk, /dev/full) would
// otherwise end as a success with nothing written. A closed pipe never gets
// here: SIGPIPE ends the process quietly, as with other command-line tools.
void CheckOutput() {
  const bool flushed = std::fflush(stdout) == 0;
  if (flushed && !std::ferror(stdout)) return;
  // errno names the cause when the last write is what failed: the last flush,
  // or, unbuffered, the run's last write (rows, summary or message), which
  // comes just before the exit.
  if (flushed && !unbuffered)
    std::fputs("ostrel: cannot write standard output\n", stderr);
  else
    std::fprintf(stderr, "ostrel: cannot write standard output: %s\n", std::strerror(errno));
  _exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  // Rows are gathered into large pieces before they reach stdio (see
  // FlushRows); into a file or a pipe each piece goes straight out in one
  // write, where a stdio buffer would only copy it once more. The few other
  // lines (banner, summary, messages) are one write each. A terminal keeps
  // its line buffering.
  if (!isatty(STDOUT_FILENO)) unbuffered = std::setvbuf(stdout, nullptr, _IONBF, 0) == 0;
  std::atexit(CheckOutput);
  return RunOstrel(argc, argv);
}
