// Fuzzes the format file reader with any bytes as a format file. A file
// that defines every type is then copied, as the classifying threads copy
// it, and both tables classify a few typical log lines: they must agree,
// and every part a type names must lie inside the line or be unset.
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "logformat/format_file.h"
#include "logformat/classification.h"

namespace {

const char* const kSampleLines[] = {
    "10:00 < alice> good morning, see www.example.com",
    "10:02  * bob waves",
    "10:03 -!- carol [~carol@host] has joined #channel",
    "10:04 -!- carol was kicked from #channel by bob [too loud]",
    "--- Day changed Mon Mar 04 2024",
    "[2024-03-04 10:05:00] <dave> hi",
    "",
    ("\x03"
     "4,12colour\x02 bold \x1f"),
};

void CheckMatch(const LineTypeTable& table, const LineMatch& match, const char* line) {
  if (match.type == kTypeNull) return;
  if (match.type < kTypeText || match.type >= kLineTypeCount) {
    fuzz_support::Finding("line type out of range");
  }
  const regoff_t length = static_cast<regoff_t>(strlen(line));
  for (int part = 0; part < kLinePartCount; ++part) {
    int sub = table.types[match.type].parts[part];
    if (sub < 0 || sub >= kMatchPositions) fuzz_support::Finding("part subexpression out of range");
    if (sub == 0) continue;
    const regmatch_t& at = match.positions[sub];
    if (at.rm_so == -1) continue;
    if (at.rm_so < 0 || at.rm_so > at.rm_eo || at.rm_eo > length) {
      fuzz_support::Finding("part outside the line");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::InputStream input(data, size);
  // Odd sizes read with the diagnostics of the highest verbosity on.
  int verbosity = size % 2 == 1 ? 3 : 0;
  LineTypeTable table;
  if (!ReadLogFormatSpec(input.stream, verbosity, table)) return 0;

  if (fuzz_support::MayHoldBackReference(input.bytes)) return 0;
  LineTypeTable copy;
  if (!CopyLineTypeTable(table, copy)) fuzz_support::Finding("a compiled table does not copy");
  for (const char* line : kSampleLines) {
    LineMatch original = ClassifyLine(table, line);
    LineMatch copied = ClassifyLine(copy, line);
    if (original.type != copied.type) fuzz_support::Finding("the copy classifies differently");
    CheckMatch(table, original, line);
  }
  return 0;
}
