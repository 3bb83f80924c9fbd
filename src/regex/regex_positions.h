// Recording subexpression positions along a way through a program, as the C
// library records them: a group that closes after taking text is recorded
// and remembered; one that closes empty inside a "?" or "*" after an earlier
// recording brings back everything remembered then.
#pragma once

#include <regex.h>

#include <cstddef>

#include "regex/regex_program.h"

struct RegexPositionsRecord {
  regmatch_t current[kRegexPositions];
  regmatch_t remembered[kRegexPositions];
  bool remembers = true;  // false for a program without optional groups
};

// Starts a record for a match of `spanLength` bytes by `program`;
// positions are counted from the match's start until FinishRegexPositions.
void BeginRegexPositions(RegexPositionsRecord& record, const RegexProgram& program,
                         size_t spanLength);

// The way passes `step` (a kOpen or kClose step; others are ignored) at
// `at`, counted from the match's start.
void PassRegexStep(RegexPositionsRecord& record, const RegexStep& step, size_t at);

// Writes positions[0, kRegexPositions) for the match beginning at `start`
// in the text: merged subexpressions report their outer one's positions.
void FinishRegexPositions(const RegexPositionsRecord& record, const RegexProgram& program,
                          size_t start, regmatch_t* positions);
