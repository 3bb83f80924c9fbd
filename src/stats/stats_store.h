// Everything a run's statistics accumulate into.
#pragma once

#include "stats/samples.h"
#include "stats/tables.h"

struct StatsStore {
  NickTable nicks;
  DayTable days;
  SamplePools pools;
};
