// The statistics page: head, summary, the sample tables and the footer,
// around the activity charts and the Big Numbers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "report/page_style.h"
#include "stats/stats_store.h"
#include "stats/samples.h"

// The program and the version the page names as its maker.
constexpr const char* kProgramName = "tallywick";
constexpr const char* kProgramVersion = "0.2.4";

// What the page shows besides the tables: its look, the StatWord and the
// figures of the run.
struct PageContext {
  const PageStyle* style = nullptr;
  const std::string* statWord = nullptr;
  int verbosity = 0;
  time_t startTime = 0;
  time_t pageTime = 0;  // taken by the caller right before the page is written
  uint64_t processedBytes = 0;
};

// Sorts both tables into report order and writes the whole page to `out`.
// REQUIRES: context.style is set.
void WriteReportPage(FILE* out, const PageContext& context, StatsStore& store);

// Writes one sample pool as a table titled `title`, a row per distinct offer.
void WritePoolTable(FILE* out, const PageStyle& style, const SamplePool& pool, const char* title);
