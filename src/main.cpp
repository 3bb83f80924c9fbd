#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "driver/run.h"

namespace {

// Standard input, output and error closed at start (a cron or daemon setup
// may start the program so) are opened on /dev/null before anything else
// is opened: otherwise the first file opened, the page perhaps, would take
// the descriptor, and the run's messages would be written into it. False
// when one cannot be opened.
bool OpenClosedStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is this one: the ones below are open.
    int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!OpenClosedStandardDescriptors()) return 255;
  // A page written into a closed pipe is a failed write, reported like any
  // other, not a silent end of the process.
  signal(SIGPIPE, SIG_IGN);
  // So is a page over the file-size limit ("File too large"): the old page
  // is kept and no temporary file is left behind, where the signal's own
  // action would end the process on the spot.
  signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunTallywick(args);
}
