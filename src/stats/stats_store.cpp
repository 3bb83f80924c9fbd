#include "stats/stats_store.h"

std::string PutTablesInReportOrder(StatsStore& store, int verbosity) {
  std::string undatedName = UNDATED;
  if (const DayRecord* undated = FindDay(store.days, UNDATED, verbosity)) {
    undatedName = undated->name;
  }
  SortDaysForPage(store.days);
  SortNicksForPage(store.nicks);
  return undatedName;
}
