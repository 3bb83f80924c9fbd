// Everything a run's statistics accumulate into.
#pragma once

#include <string>

#include "stats/nick_lookup.h"
#include "stats/nick_shapes.h"
#include "stats/samples.h"
#include "stats/tables.h"
#include "stats/user_map.h"

struct StatsStore {
  NickTable nicks;
  DayTable days;
  SamplePools pools;
  // The people of the users file; empty without one, and every nick is
  // then its own person. NickOf and its kin (stats/nick_lookup.h) read it
  // and keep their answers in `memo`.
  UserMap users;
  NickMemo memo;
  // What the accounting rules out addressees by, without a users file.
  NickShapes nickShapes;
};

// Puts both tables into the page's order, their indexes kept valid, and
// returns the name the undated day has in the table (UNDATED when there is
// none). The name is looked up first, while the days are still in the
// order they were met: the lookup reports each comparison above verbosity 1.
std::string PutTablesInReportOrder(StatsStore& store, int verbosity);
