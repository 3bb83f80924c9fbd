// The daily chart, the legend, the channel load by hour, the activity table
// of the most active nicks and the share column.
#pragma once

#include <cstdio>

#include "report/page_facts.h"
#include "report/page_style.h"
#include "stats/tables.h"

// Writes everything from the daily chart to the end of the share column;
// `days` in report order, `facts` gathered from the same tables.
void WriteActivityCharts(FILE* out, const PageStyle& style, const DayTable& days,
                         const PageFacts& facts);
