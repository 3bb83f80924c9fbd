#include "regex/regex_positions.h"

#include <algorithm>

void BeginRegexPositions(RegexPositionsRecord& record, const RegexProgram& program,
                         size_t spanLength) {
  for (auto& p : record.current) p.rm_so = p.rm_eo = -1;
  record.current[0].rm_so = 0;
  record.current[0].rm_eo = static_cast<regoff_t>(spanLength);
  record.remembers = program.optionalGroups;
  if (record.remembers) std::copy(record.current, record.current + kRegexPositions, record.remembered);
}

void PassRegexStep(RegexPositionsRecord& record, const RegexStep& step, size_t at) {
  regoff_t here = static_cast<regoff_t>(at);
  regmatch_t& group = record.current[step.group];
  if (step.kind == RegexStepKind::kOpen) {
    group.rm_so = here;
    group.rm_eo = -1;
  } else if (step.kind == RegexStepKind::kClose) {
    if (group.rm_so < here) {
      group.rm_eo = here;
      if (record.remembers) {
        std::copy(record.current, record.current + kRegexPositions, record.remembered);
      }
    } else if (step.optionalGroup && record.remembered[step.group].rm_so != -1) {
      std::copy(record.remembered, record.remembered + kRegexPositions, record.current);
    } else {
      group.rm_eo = here;
    }
  }
}

void FinishRegexPositions(const RegexPositionsRecord& record, const RegexProgram& program,
                          size_t start, regmatch_t* positions) {
  const regoff_t offset = static_cast<regoff_t>(start);
  for (int i = 0; i < kRegexPositions; ++i) {
    positions[i] = record.current[i];
    if (positions[i].rm_so != -1) {
      positions[i].rm_so += offset;
      positions[i].rm_eo += offset;
    }
  }
  if (!program.mergedGroups) return;
  for (int i = 1; i < kRegexPositions; ++i) {
    if (program.sameAs[i] != i) positions[i] = positions[program.sameAs[i]];
  }
}
