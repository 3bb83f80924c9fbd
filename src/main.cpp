#include <csignal>
#include <string>
#include <vector>

#include "driver/run.h"

int main(int argc, char** argv) {
  // A page written into a closed pipe is a failed write, reported like any
  // other, not a silent end of the process.
  signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  return RunTallywick(args);
}
