// The run: the command line, the order of the phases, the exit status.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "driver/exit_status.h"
#include "driver/settings.h"
#include "logformat/format_file.h"
#include "logformat/line_charsets.h"
#include "logformat/time_zones.h"
#include "stats/accounting.h"
#include "stats/samples.h"

// Everything one run shares, owned by the driver.
struct RunState {
  time_t startTime = 0;
  uint64_t processedBytes = 0;
  int32_t parsedFiles = 0;
  int32_t verbosity = 0;

  Settings settings = DefaultSettings();
  LineTypeTable format;
  bool formatLoaded = false;

  // The format and settings files named by the options, which the page
  // must never be written over.
  std::vector<std::string> optionFiles;

  std::string outputPath = "-";
  bool haveExclusionPath = false;
  std::string exclusionPath;
  // The users file: named by -u, which wins over the "users" setting.
  bool haveUsersOption = false;
  std::string usersPath;
  std::vector<std::string> logFiles;

  CompiledRegex quitIgnore;
  CompiledRegex kickIgnore;
  AccountingConfig accounting;  // StatWord, quote limits, bot names, patterns

  StatsStore store;
  // Lines of every file read, by the type that matched them (kTypeNull: no
  // type), and the unmatched ones that were misfits; summed up at -v.
  uint64_t linesOfType[kLineTypeCount] = {};
  uint64_t misfitLines = 0;

  // The character sets log lines are made UTF-8 from, when log_charset is set.
  bool recodeLines = false;
  LineCharsets charsets;

  // The logger's and the page's time zones, when the settings name either.
  bool shiftZones = false;
  ZoneShift zones;

  int classifyWorkers = 1;  // threads that classify log lines
  MatcherChoice matcher = MatcherChoice::kOwn;
};

enum class CommandLineOutcome {
  kRead,            // options read; operands, if any, in state.logFiles
  kNotAnOption,     // the first word is not an option
  kFormatRejected,  // a format file was read and left a type undefined
};

// Reads the options and operands of `args` (the words after the program
// name) into `state`, loading settings and the format as they come.
CommandLineOutcome ReadCommandLine(const std::vector<std::string>& args, RunState& state);

// Chooses the StatWord from the comma-separated candidates: the k-th
// candidate replaces the choice when rand() % k is 0.
std::string ChooseStatWord(const std::string& candidates);

// Removes the nicks named in an exclusion file, one per line, all at once.
// False on a read error, with errno as the read left it; nothing is removed.
bool ApplyExclusionFile(FILE* in, StatsStore& store);

// Reads the users file the run names, if any, into the store. False when
// it cannot be opened or read or has mistakes (all reported): the page
// would count the wrong people, so the run must end before any log is read.
bool LoadUsersFile(RunState& state);

// Removes the records of the users file's bots, as the exclusion file
// removes nicks.
void RemoveBotRecords(StatsStore& store);

// The whole run; returns the exit status. Only main ends the process. Memory
// running out ends the run with "tallywick: out of memory" and status 255.
int RunTallywick(const std::vector<std::string>& args);
