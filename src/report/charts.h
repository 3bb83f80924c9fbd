// The daily chart, the legend, the channel load by hour, the activity table
// of the most active nicks and the share column.
#pragma once

#include <cstdint>
#include <cstdio>

#include "report/page_style.h"
#include "stats/tables.h"

// Sums of every day's hour counters.
struct HourTotals {
  int64_t hours[24] = {};
};

// The hour counters of all `days` added up.
HourTotals ComputeHourTotals(const DayTable& days);

// Writes everything from the daily chart to the end of the share column;
// the tables must be in report order.
void WriteActivityCharts(FILE* out, const PageStyle& style, const DayTable& days,
                         const NickTable& nicks);
