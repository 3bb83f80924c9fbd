#include <csignal>
#include <string>
#include <vector>

#include "driver/run.h"

int main(int argc, char** argv) {
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
