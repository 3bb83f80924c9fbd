// The charts of the modern page, drawn with CSS: the daily chart with its
// legend, the channel load by hour, the activity table and the share of
// all lines.
#pragma once

#include <cstdio>

#include "report/page_facts.h"
#include "stats/tables.h"

// Writes the sections from the daily chart to the share of all lines;
// `days` in report order, `facts` gathered from the same tables.
void WriteModernCharts(FILE* out, const DayTable& days, const PageFacts& facts);
