// The "Big Numbers" table: up to fifteen fun facts, each naming the nick who
// leads in one statistic and the runner-up.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "report/page_style.h"
#include "stats/tables.h"

// A statistic of one nick, taken as its low 32 bits by the rows.
typedef int64_t (*NickMetric)(const NickRecord& nick);

// Average letters per line; 0 for a nick without lines.
int64_t LettersPerLine(const NickRecord& nick);
// Shouted letters as a percentage of all letters; 0 without letters.
int64_t ShoutPercent(const NickRecord& nick);
// Questions as a percentage of lines; 0 without lines.
int64_t QuestionPercent(const NickRecord& nick);
// The lines of a nick who spoke in all four quarters of the day, else 101.
int64_t LinesIfAllQuarters(const NickRecord& nick);

// Writes the whole table; the NickTable must be in activity order and hold
// at least one nick. Draws two numbers from rand().
void WriteBigNumbers(FILE* out, const PageStyle& style, const NickTable& nicks,
                     const std::string& statWord);

// One row won by the largest (or smallest, zeros passed over from the third
// record on) value among the first min(scanLimit, nicks) records; written
// only when the winner reaches (or, lowest, stays under) `threshold`.
void WriteHighestRow(FILE* out, const PageStyle& style, const NickTable& nicks,
                     NickMetric metric, const char* phrase, int32_t threshold, int scanLimit);
void WriteLowestRow(FILE* out, const PageStyle& style, const NickTable& nicks,
                    NickMetric metric, const char* phrase, int32_t threshold, int scanLimit);
