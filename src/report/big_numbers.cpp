#include "report/big_numbers.h"

#include "report/text_rendering.h"

namespace {

void WriteTableHead(FILE* out, const PageStyle& style) {
  const char* contrast = style.contrast.c_str();
  const char* font1 = style.font1.c_str();
  const char* headOther = style.headOtherBg.c_str();
  fprintf(out, "<Table border=0 cellpadding=2 cellspacing=2>\n<tr><td align=\"left\" bgcolor=\"#%s\"><font color=\"#%s\" size=3 face=\"%s\"><i><b>Who</b></i></font></td>\n<td align=\"left\" bgcolor=\"#%s\"><font color=\"#%s\" size=3 face=\"%s\"><i><b>Fact!</b></i></font></td><td align=\"left\" bgcolor=\"#%s\"><font color=\"#%s\" size=3 face=\"%s\"><i><b>Runner-up</b></i></font></td></tr>\n",
          style.headNickBg.c_str(), contrast, font1, headOther, contrast, font1, headOther,
          contrast, font1);
}

}  // namespace

void WriteBigNumberRow(FILE* out, const PageStyle& style, const BigNumberFact& fact) {
  const RankedRow& row = fact.row;
  const char* font2 = style.font2.c_str();
  fprintf(out, "<tr><td align=\"center\" bgcolor=\"#%s\"><font size=2 face=\"%s\">%s</font></td><td align=\"left\" bgcolor=\"#%s\"><font size=3 face=\"%s\">",
          style.nickBg.c_str(), font2, EscapedText(row.winner->name).c_str(),
          style.secondBg.c_str(), style.font1.c_str());
  fputs(PhraseWithValue(fact.phrase, static_cast<long>(row.winnerValue)).c_str(), out);
  const char* runnerBg = style.thirdBg.c_str();
  if (row.runnerUp != nullptr) {
    fprintf(out, "</font></td><td align=\"left\" bgcolor=\"#%s\"><font size=1 face=\"%s\">%s (%d)</font></td></tr>\n",
            runnerBg, font2, EscapedText(row.runnerUp->name).c_str(), row.runnerUpValue);
  } else {
    fprintf(out, "</font></td><td align=\"left\" bgcolor=\"#%s\"><font size=1 face=\"%s\"></font></td></tr>\n",
            runnerBg, font2);
  }
}

void WriteBigNumbers(FILE* out, const PageStyle& style, const std::vector<BigNumberFact>& facts) {
  WriteTableHead(out, style);
  for (const BigNumberFact& fact : facts) WriteBigNumberRow(out, style, fact);
  fputs("</table>\n", out);
}
