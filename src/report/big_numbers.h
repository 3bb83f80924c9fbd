// The "Big Numbers" table: up to fifteen fun facts, each naming the nick who
// leads in one statistic and the runner-up.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "driver/settings.h"
#include "stats/tables.h"

// A statistic of one nick, taken as its low 32 bits by the rows.
typedef int64_t (*NickMetric)(const NickRecord& nick);

int64_t LettersPerLine(const NickRecord& nick);
int64_t ShoutPercent(const NickRecord& nick);
int64_t QuestionPercent(const NickRecord& nick);
int64_t LinesIfAllQuarters(const NickRecord& nick);

// Writes the whole table; the NickTable must be in activity order and hold
// at least one nick. Draws two numbers from rand().
void WriteBigNumbers(FILE* out, const Settings& settings, const NickTable& nicks,
                     const std::string& statWord);

// One row won by the largest (or smallest, zeros passed over from the third
// record on) value among the first min(scanLimit, nicks) records.
void WriteHighestRow(FILE* out, const Settings& settings, const NickTable& nicks,
                     NickMetric metric, const char* phrase, int32_t threshold, int scanLimit);
void WriteLowestRow(FILE* out, const Settings& settings, const NickTable& nicks,
                    NickMetric metric, const char* phrase, int32_t threshold, int scanLimit);
