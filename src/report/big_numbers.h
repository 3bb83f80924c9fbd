// The "Big Numbers" table: up to fifteen fun facts, each naming the nick who
// leads in one statistic and the runner-up.
#pragma once

#include <cstdio>
#include <vector>

#include "report/page_facts.h"
#include "report/page_style.h"

// Writes the whole table, a row per fact.
void WriteBigNumbers(FILE* out, const PageStyle& style, const std::vector<BigNumberFact>& facts);

// Writes one row of the table; an empty runner-up cell when the row has no
// runner-up.
void WriteBigNumberRow(FILE* out, const PageStyle& style, const BigNumberFact& fact);
