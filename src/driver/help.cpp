#include "driver/help.h"

#include "driver/exit_status.h"
#include "report/program_identity.h"

FirstWordRequest RequestOfFirstWord(const std::vector<std::string>& args) {
  if (args.empty()) return FirstWordRequest::kRun;
  if (args[0] == "--help" || args[0] == "-h") return FirstWordRequest::kHelp;
  if (args[0] == "--version") return FirstWordRequest::kVersion;
  return FirstWordRequest::kRun;
}

int AnswerFirstWord(FirstWordRequest request, FILE* out) {
  if (request == FirstWordRequest::kVersion) {
    fprintf(out, "%s %s\n", kProgramName, kProgramVersion);
  } else {
    fputs("Usage: tallywick -p format-file [option ...] [log-file ...]\n"
          "Writes one HTML statistics page from the logs of an IRC channel.\n"
          "\n"
          "  -p format-file        how the log lines look; the first one that loads counts\n"
          "  -r settings-file      a settings file; may be repeated, later files win\n"
          "  -o page               where the page goes; - (the default) is standard output\n"
          "  -b nick-file          a file of nicks to leave out, one per line\n"
          "  -u users-file         who is who: main names, aliases, bots, ignored nicks\n"
          "  -v                    more diagnostics on standard error; may be repeated\n"
          "  -i/-l/-n/-s/-t word   takes one word, which is ignored\n"
          "  -h, --help            this text (as the first word only)\n"
          "  --version             the version (as the first word only)\n"
          "\n"
          "The words after the options are log files, read in order; - is standard input.\n"
          "Format files for the common clients are installed in\n"
          "PREFIX/share/tallywick/formats/, PREFIX being the installation prefix\n"
          "(/usr/local unless another was chosen).\n"
          "More in the manual (man tallywick) and in the README.\n",
          out);
  }
  if (fflush(out) != 0 || ferror(out)) {
    perror("standard output");
    return kExitFatal;
  }
  return kExitOk;
}
