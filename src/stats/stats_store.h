// Everything a run's statistics accumulate into.
#pragma once

#include <string>

#include "stats/samples.h"
#include "stats/tables.h"

struct StatsStore {
  NickTable nicks;
  DayTable days;
  SamplePools pools;
};

// Puts both tables into the page's order, their indexes kept valid, and
// returns the name the undated day has in the table (UNDATED when there is
// none). The name is looked up first, while the days are still in the
// order they were met: the lookup reports each comparison above verbosity 1.
std::string PutTablesInReportOrder(StatsStore& store, int verbosity);
