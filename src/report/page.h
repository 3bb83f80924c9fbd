// The statistics page: head, summary, the sample tables and the footer,
// around the activity charts and the Big Numbers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "driver/settings.h"
#include "stats/stats_store.h"
#include "stats/samples.h"

constexpr const char* kProgramName = "tallywick";
constexpr const char* kProgramVersion = "0.2.4";

struct PageContext {
  const Settings* settings = nullptr;
  const std::string* statWord = nullptr;
  int verbosity = 0;
  time_t startTime = 0;
  time_t pageTime = 0;  // taken by the caller right before the page is written
  uint64_t processedBytes = 0;
};

// Sorts both tables into report order and writes the whole page to `out`.
void WriteReportPage(FILE* out, const PageContext& context, StatsStore& store);

// Writes one sample pool as a table titled `title`.
void WritePoolTable(FILE* out, const Settings& settings, const SamplePool& pool,
                    const char* title);
