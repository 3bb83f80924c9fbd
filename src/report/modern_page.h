// The modern statistics page: the same statistics, sections and random
// choices as the classic page, written as one self-contained HTML5 file
// that needs no images, scripts or anything else beside it.
#pragma once

#include <cstdio>

#include "report/page.h"

// Writes the whole page to `out`. Only prints, like WriteReportPage, from
// the same facts; draws nothing from rand().
// REQUIRES: context.style is set.
void WriteModernPage(FILE* out, const PageContext& context, const StatsStore& store,
                     const PageFacts& facts);
