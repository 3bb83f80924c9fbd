// The statistics page: head, summary, the sample tables and the footer,
// around the activity charts and the Big Numbers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "report/page_facts.h"
#include "report/page_style.h"
#include "report/program_identity.h"
#include "stats/stats_store.h"
#include "stats/samples.h"

// What the page shows besides the statistics: its look and the figures of
// the run.
struct PageContext {
  const PageStyle* style = nullptr;
  time_t startTime = 0;
  time_t pageTime = 0;  // taken by the caller right before the page is written
  uint64_t processedBytes = 0;
};

// Writes the whole page to `out`. Only prints: what it shows that is
// computed comes in `facts`, gathered from `store` in report order.
// REQUIRES: context.style is set.
void WriteReportPage(FILE* out, const PageContext& context, const StatsStore& store,
                     const PageFacts& facts);

// Writes one sample pool as a table titled `title`, a row per distinct offer.
void WritePoolTable(FILE* out, const PageStyle& style, const SamplePool& pool, const char* title);
