#include "logformat/format_file.h"

#include <gtest/gtest.h>
#include <regex.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "logformat/classification.h"
#include "run_binary.h"

using test_support::StderrCapture;
using test_support::TempDir;
using test_support::TextStream;

namespace {

// One simple definition for every line type from "text" to "channel".
const std::map<std::string, std::string> kBaseDefinitions = {
    {"text", "text=^<([^>]+)> (.*)$,nick,string\n"},
    {"act", "act=^\\* ([^ ]+) (.*)$,nick,string\n"},
    {"join", "join=^J ([^ ]+)$,nick\n"},
    {"part", "part=^P ([^ ]+)$,nick\n"},
    {"quit", "quit=^Q ([^ ]+) (.*)$,nick,string\n"},
    {"kick", "kick=^K ([^ ]+) ([^ ]+) (.*)$,nick,othernick,string\n"},
    {"topic", "topic=^T ([^ ]+) (.*)$,nick,string\n"},
    {"nick", "nick=^N ([^ ]+) ([^ ]+)$,nick,othernick\n"},
    {"mode", "mode=^M ([^ ]+)$,nick\n"},
    {"date_stamp", "date_stamp=^D (.*)$,date\n"},
    {"channel", "channel=^C (.*)$,channel\n"},
};

// `lines` followed by the base definitions of every type not in `leaveOut`.
std::string FormatText(const std::string& lines, std::initializer_list<std::string> leaveOut = {}) {
  std::string text = lines;
  for (const auto& [keyword, definition] : kBaseDefinitions) {
    if (std::find(leaveOut.begin(), leaveOut.end(), keyword) == leaveOut.end()) text += definition;
  }
  return text;
}

struct Reading {
  bool complete = false;
  std::string err;
};

Reading Read(const std::string& text, LineTypeTable& table, int verbosity = 0) {
  TextStream in(text);
  StderrCapture capture;
  Reading reading;
  reading.complete = ReadLogFormatSpec(in.stream, verbosity, table);
  reading.err = capture.Text();
  return reading;
}

bool Matches(const LineTypeEntry& entry, const std::string& line) {
  return entry.pattern.compiled && regexec(&entry.pattern.re, line.c_str(), 0, nullptr, 0) == 0;
}

// The library's own words for the error of compiling `pattern`.
std::string CompileError(const std::string& pattern) {
  regex_t re;
  int error = regcomp(&re, pattern.c_str(), REG_EXTENDED);
  EXPECT_NE(error, 0) << pattern;
  char message[2048];
  regerror(error, &re, message, sizeof message);
  return message;
}

void ExpectParts(const LineTypeEntry& entry, std::array<int, kLinePartCount> expected) {
  for (int part = 0; part < kLinePartCount; ++part) {
    EXPECT_EQ(entry.parts[part], expected[part]) << "part " << LinePartKeyword(part);
  }
}

TEST(FormatFile, KeywordsAreNumberedInTableOrder) {
  const char* types[] = {"null", "text",  "act",  "join", "part",       "quit",
                         "kick", "topic", "nick", "mode", "date_stamp", "channel"};
  for (int type = 0; type < kLineTypeCount; ++type)
    EXPECT_STREQ(LineTypeKeyword(type), types[type]);
  const char* parts[] = {"time", "nick", "othernick", "string", "date", "channel"};
  for (int part = 0; part < kLinePartCount; ++part)
    EXPECT_STREQ(LinePartKeyword(part), parts[part]);
}

TEST(FormatFile, ElevenDefinitionsWithoutNullAreComplete) {
  LineTypeTable table;
  Reading reading = Read(FormatText(""), table);
  EXPECT_TRUE(reading.complete);
  EXPECT_EQ(reading.err, "");
  EXPECT_FALSE(table.types[kTypeNull].pattern.compiled);
  EXPECT_TRUE(Matches(table.types[kTypeKick], "K op victim flooding"));
  ExpectParts(table.types[kTypeKick], {0, 1, 2, 3, 0, 0});
  ExpectParts(table.types[kTypeDateStamp], {0, 0, 0, 0, 1, 0});
  ExpectParts(table.types[kTypeChannel], {0, 0, 0, 0, 0, 1});
}

TEST(FormatFile, TheFirstMissingTypeIsNamedAndTheReadingFails) {
  LineTypeTable table;
  Reading onlyChannel = Read(FormatText("", {"channel"}), table);
  EXPECT_FALSE(onlyChannel.complete);
  EXPECT_EQ(onlyChannel.err, "No definition of channel found in format spec\n");

  LineTypeTable second;
  Reading two = Read(FormatText("", {"channel", "mode"}), second);
  EXPECT_FALSE(two.complete);
  EXPECT_EQ(two.err, "No definition of mode found in format spec\n");

  LineTypeTable empty;
  Reading nothing = Read("", empty);
  EXPECT_FALSE(nothing.complete);
  EXPECT_EQ(nothing.err, "No definition of text found in format spec\n");
}

TEST(FormatFile, NullCannotBeDefined) {
  LineTypeTable table;
  Reading reading = Read(FormatText("null=^x\nNULL=\n"), table);
  EXPECT_TRUE(reading.complete);
  EXPECT_EQ(reading.err,
            "Repeat definition ignored for null\n"
            "Bad regexp for null\n");
  EXPECT_FALSE(table.types[kTypeNull].pattern.compiled);
}

TEST(FormatFile, KeysMatchWithoutCaseAndUnknownKeysAreNamedAsWritten) {
  LineTypeTable table;
  Reading reading = Read(FormatText("TEXT=^shout (.*)$,STRING\n"
                                    "Date_Stamp=^day (.*)$,date\n"
                                    " join=^x\n"
                                    "part =^x\n"
                                    "=^x\n"
                                    "texts=^x\n",
                                    {"text", "date_stamp"}),
                         table);
  EXPECT_TRUE(reading.complete);
  EXPECT_EQ(reading.err,
            "Unrecognised line type  join\n"
            "Unrecognised line type part \n"
            "Unrecognised line type \n"
            "Unrecognised line type texts\n");
  EXPECT_TRUE(Matches(table.types[kTypeText], "shout hello"));
  ExpectParts(table.types[kTypeText], {0, 0, 0, 1, 0, 0});
  EXPECT_TRUE(Matches(table.types[kTypeDateStamp], "day Mon Mar 04 2002"));
}

TEST(FormatFile, EmptyValuesAndRepeatedDefinitions) {
  LineTypeTable table;
  Reading reading = Read(FormatText("text=^first (.*)$,string\n"
                                    "text=^second (.*)$,nick\n"
                                    "text=\n"  // the empty value is reported before the repeat
                                    "act=\n"
                                    "act=^acts$\n",
                                    {"text"}),
                         table);
  EXPECT_TRUE(reading.complete);
  EXPECT_EQ(reading.err,
            "Repeat definition ignored for text\n"
            "Bad regexp for text\n"
            "Bad regexp for act\n"
            "Repeat definition ignored for act\n");  // the base definition follows
  EXPECT_TRUE(Matches(table.types[kTypeText], "first words"));
  EXPECT_FALSE(Matches(table.types[kTypeText], "second words"));
  ExpectParts(table.types[kTypeText], {0, 0, 0, 1, 0, 0});
  EXPECT_TRUE(Matches(table.types[kTypeAction], "acts"));
}

TEST(FormatFile, AnExpressionThatDoesNotCompileLeavesTheTypeOpen) {
  LineTypeTable table;
  Reading reading = Read(FormatText("text=^(unclosed,bogus,nick\n"             // part list not read
                                    "text=^([[:nick:]]+) (.*)$,nick,string\n"  // no repeat message
                                    "act=[[:uh:]\n",                           // reported expanded
                                    {"text"}),
                         table);
  EXPECT_TRUE(reading.complete);
  EXPECT_EQ(reading.err, "Error in \"^(unclosed\" - " + CompileError("^(unclosed") + "\n" +
                             "Error in \"[^ :!*\" - " + CompileError("[^ :!*") + "\n");
  EXPECT_TRUE(Matches(table.types[kTypeText], "bob hello"));
  ExpectParts(table.types[kTypeText], {0, 1, 0, 2, 0, 0});
  EXPECT_TRUE(Matches(table.types[kTypeAction], "* bob waves"));  // the base definition

  // A type whose every definition fails is missing at the end.
  LineTypeTable failing;
  Reading missing = Read(FormatText("mode=a{1\n", {"mode"}), failing);
  EXPECT_FALSE(missing.complete);
  EXPECT_EQ(missing.err, "Error in \"a{1\" - " + CompileError("a{1") + "\n" +
                             "No definition of mode found in format spec\n");
}

TEST(FormatFile, MacrosExpandEverywhere) {
  EXPECT_EQ(ExpandFormatMacros("<([[:nick:]]+)>"), "<([^ @<>!:*]+)>");
  EXPECT_EQ(ExpandFormatMacros("([[:nick:]]+)!([[:uh:]]+)"), "([^ @<>!:*]+)!([^ :!*]+)");
  EXPECT_EQ(ExpandFormatMacros("[:nick:][:uh:]"), "^ @<>!:*^ :!*");  // outside brackets too
  EXPECT_EQ(ExpandFormatMacros("[:nick][:uh]:nick:]"), "[:nick][:uh]:nick:]");
  EXPECT_EQ(ExpandFormatMacros("[[:alpha:]]"), "[[:alpha:]]");
  EXPECT_EQ(ExpandFormatMacros(""), "");

  LineTypeTable table;
  Reading reading = Read(FormatText("text=^<([[:nick:]]+)> (.*)$,nick,string\n"
                                    "join=^([[:nick:]]+) \\(([[:uh:]]+)\\) joined$,nick,null\n",
                                    {"text", "join"}),
                         table, 2);
  EXPECT_TRUE(reading.complete);
  EXPECT_NE(reading.err.find("Compiled regexp \"^<([^ @<>!:*]+)> (.*)$\" for text\n"),
            std::string::npos)
      << reading.err;
  EXPECT_NE(
      reading.err.find("Compiled regexp \"^([^ @<>!:*]+) \\(([^ :!*]+)\\) joined$\" for join\n"),
      std::string::npos)
      << reading.err;
  const LineTypeEntry& text = table.types[kTypeText];
  EXPECT_TRUE(Matches(text, "<bob> hi"));
  for (const char* bad : {"<b b> hi", "<b@b> hi", "<b!b> hi", "<b:b> hi", "<b*b> hi", "<> hi"}) {
    EXPECT_FALSE(Matches(text, bad)) << bad;
  }
  const LineTypeEntry& join = table.types[kTypeJoin];
  EXPECT_TRUE(Matches(join, "bob (bob@host.example) joined"));
  EXPECT_TRUE(Matches(join, "bob (~b@h<o>st) joined"));
  EXPECT_FALSE(Matches(join, "bob (bob:x@host) joined"));
  EXPECT_FALSE(Matches(join, "bob (a!b@host) joined"));
}

TEST(FormatFile, VerbosityTwoReportsEveryCompilation) {
  LineTypeTable quiet;
  EXPECT_EQ(Read(FormatText(""), quiet, 1).err, "");
  LineTypeTable loud;
  Reading reading = Read(FormatText(""), loud, 2);
  EXPECT_TRUE(reading.complete);
  // The definitions are read in the order of kBaseDefinitions (alphabetical).
  std::string expected;
  for (const auto& [keyword, definition] : kBaseDefinitions) {
    size_t start = definition.find('=') + 1;
    size_t comma = definition.find(',', start);
    expected +=
        "Compiled regexp \"" + definition.substr(start, comma - start) + "\" for " + keyword + "\n";
  }
  EXPECT_EQ(reading.err, expected);
}

TEST(FormatFile, PartListsGiveSubexpressionNumbersByPosition) {
  LineTypeTable table;
  Reading reading =
      Read(FormatText("text=^(a)(b)(c)$,null,nick,string\n"
                      "act=^(a)(b)(c)(d)$,time,nick,,string\n"
                      "join=^(a)(b)$,NULL,Nick,\n"              // trailing comma adds nothing
                      "part=^part$,\n"                          // nothing after the comma: no parts
                      "quit=^quit$\n"                           // no part list
                      "kick=^(a)(b)(c)$,nick,nick,othernick\n"  // a later item wins
                      "topic=^(a)(b) (.*)$,time,string ; comment\n"  // blank before ";"
                      "nick=^(a)(b)$,time,nick,,\n"  // an empty item, then a trailing comma
                      "mode=^(a)(b)(c)$,channel,date,bogus\n",
                      {"text", "act", "join", "part", "quit", "kick", "topic", "nick", "mode"}),
           table);
  EXPECT_TRUE(reading.complete);
  EXPECT_EQ(reading.err,
            "Unknown line part \n"
            "Unknown line part string \n"
            "Unknown line part \n"
            "Unknown line part bogus\n");
  ExpectParts(table.types[kTypeText], {0, 2, 0, 3, 0, 0});
  ExpectParts(table.types[kTypeAction], {1, 2, 0, 4, 0, 0});
  ExpectParts(table.types[kTypeJoin], {0, 2, 0, 0, 0, 0});
  ExpectParts(table.types[kTypePart], {0, 0, 0, 0, 0, 0});
  EXPECT_TRUE(Matches(table.types[kTypePart], "part"));
  ExpectParts(table.types[kTypeQuit], {0, 0, 0, 0, 0, 0});
  EXPECT_TRUE(Matches(table.types[kTypeQuit], "quit"));
  ExpectParts(table.types[kTypeKick], {0, 2, 3, 0, 0, 0});
  ExpectParts(table.types[kTypeTopic], {1, 0, 0, 0, 0, 0});
  ExpectParts(table.types[kTypeNick], {1, 2, 0, 0, 0, 0});
  ExpectParts(table.types[kTypeMode], {0, 0, 0, 0, 2, 1});
}

TEST(FormatFile, PartsBeyondTheEleventhSubexpressionAreLeftOut) {
  LineTypeTable table;
  std::string nulls;
  for (int i = 0; i < 10; ++i) nulls += "null,";
  Reading reading = Read(FormatText("text=^x$," + nulls + "time,nick\n", {"text"}), table);
  EXPECT_TRUE(reading.complete);
  EXPECT_EQ(reading.err, "Line part nick of text is beyond subexpression 11 and is ignored\n");
  ExpectParts(table.types[kTypeText], {11, 0, 0, 0, 0, 0});
}

TEST(FormatFile, CommentsAndCarriageReturns) {
  LineTypeTable table;
  Reading reading = Read(FormatText("; a comment line with text=^x,nick\n"
                                    "text=^t;(.*),nick\n"  // everything from ";" on is gone
                                    "act=^(a)$,nick\r\n"   // CR ends the last part item
                                    "join=^j\r\n"          // CR ends the expression
                                    "a line without equals sign\n"
                                    "\n",
                                    {"text", "act", "join"}),
                         table);
  EXPECT_TRUE(reading.complete);
  EXPECT_EQ(reading.err, "Unknown line part nick\r\n");
  EXPECT_TRUE(Matches(table.types[kTypeText], "t"));
  ExpectParts(table.types[kTypeText], {0, 0, 0, 0, 0, 0});
  ExpectParts(table.types[kTypeAction], {0, 0, 0, 0, 0, 0});
  EXPECT_TRUE(Matches(table.types[kTypeJoin], "j\r"));
  EXPECT_FALSE(Matches(table.types[kTypeJoin], "j"));
}

TEST(FormatFile, AnEmptyExpressionCompilesAndMatchesEverything) {
  LineTypeTable table;
  Reading reading = Read(FormatText("mode=,nick\n", {"mode"}), table);
  EXPECT_TRUE(reading.complete);
  EXPECT_EQ(reading.err, "");
  EXPECT_TRUE(Matches(table.types[kTypeMode], "anything at all"));
  ExpectParts(table.types[kTypeMode], {0, 1, 0, 0, 0, 0});
}

TEST(FormatFile, LongLinesArriveInPiecesOf2047Bytes) {
  // A line of 3000 characters: the first 2047 define text, the remaining
  // 953 are a line of their own that defines channel.
  std::string first = "text=^x" + std::string(2040, 'y');
  std::string second = "channel=^q" + std::string(943, 'w');
  ASSERT_EQ(first.size(), 2047u);
  ASSERT_EQ(first.size() + second.size(), 3000u);
  LineTypeTable table;
  Reading reading = Read(FormatText(first + second + "\n", {"text", "channel"}), table);
  EXPECT_TRUE(reading.complete) << reading.err;
  EXPECT_EQ(reading.err, "");
  EXPECT_TRUE(Matches(table.types[kTypeText], "x" + std::string(2040, 'y')));
  EXPECT_FALSE(Matches(table.types[kTypeText], "x" + std::string(2039, 'y')));
  EXPECT_TRUE(Matches(table.types[kTypeChannel], "q" + std::string(943, 'w')));
  EXPECT_FALSE(Matches(table.types[kTypeChannel], "q" + std::string(942, 'w')));
}

TEST(FormatFile, AReadErrorFailsTheReading) {
  TempDir dir;
  FILE* in = fopen(dir.path.c_str(), "r");  // opens, but reading a folder fails
  ASSERT_NE(in, nullptr);
  LineTypeTable table;
  StderrCapture capture;
  bool complete = ReadLogFormatSpec(in, 0, table);
  fclose(in);
  EXPECT_FALSE(complete);
  EXPECT_EQ(capture.Text(), "ReadLogFormatSpec: Is a directory\n");
}


std::vector<LineType> OrderOf(const LineTypeTable& table) {
  return std::vector<LineType>(std::begin(table.order), std::end(table.order));
}

TEST(FormatFile, WithoutAnOrderTypesAreTriedInTableOrder) {
  LineTypeTable table;
  Reading reading = Read(FormatText(""), table);
  EXPECT_TRUE(reading.complete);
  EXPECT_EQ(OrderOf(table),
            (std::vector<LineType>{kTypeText, kTypeAction, kTypeJoin, kTypePart, kTypeQuit,
                                   kTypeKick, kTypeTopic, kTypeNick, kTypeMode, kTypeDateStamp,
                                   kTypeChannel}));
  EXPECT_FALSE(table.fileName.pattern.compiled);
}

TEST(FormatFile, AnOrderPutsItsTypesFirstAndTheOthersAfterInTableOrder) {
  struct Case {
    const char* lines;
    std::vector<LineType> firstFour;
    const char* err;
    int misfitAt;  // misfits are looked for before order[misfitAt]
  };
  const Case cases[] = {
      {"order=join,quit,channel\n", {kTypeJoin, kTypeQuit, kTypeChannel, kTypeText}, "", 3},
      {"ORDER= Kick , mode\r\n", {kTypeKick, kTypeMode, kTypeText, kTypeAction}, "", 2},
      {"order=part,bogus,null,,part,act\n",
       {kTypePart, kTypeAction, kTypeText, kTypeJoin},
       "Unknown line type bogus in order\n"
       "Unknown line type null in order\n"
       "Line type part named twice in order\n",
       2},
      {"order=mode\norder=kick\n",
       {kTypeMode, kTypeText, kTypeAction, kTypeJoin},
       "Repeat definition ignored for order\n", 1},
      {"order=\norder=nick\n", {kTypeNick, kTypeText, kTypeAction, kTypeJoin},
       "Empty order ignored\n", 1},
      {"order=join,MISFIT,act,misfit\n", {kTypeJoin, kTypeAction, kTypeText, kTypePart},
       "Line type misfit named twice in order\n", 1},
      {"order=misfit,nick\n", {kTypeNick, kTypeText, kTypeAction, kTypeJoin}, "", 0},
  };
  for (const Case& c : cases) {
    LineTypeTable table;
    Reading reading = Read(FormatText(c.lines), table);
    EXPECT_TRUE(reading.complete) << c.lines;
    EXPECT_EQ(reading.err, c.err) << c.lines;
    EXPECT_EQ(table.misfitAt, c.misfitAt) << c.lines;
    std::vector<LineType> order = OrderOf(table);
    EXPECT_EQ(std::vector<LineType>(order.begin(), order.begin() + 4), c.firstFour) << c.lines;
    std::sort(order.begin(), order.end());
    EXPECT_EQ(std::unique(order.begin(), order.end()), order.end()) << c.lines;
    EXPECT_EQ(order.size(), 11u);
  }
}

// A misfit is a line of the client that no type reads: it is unmatched
// wherever it stands in the order, even where a later type has its shape.
TEST(FormatFile, AMisfitIsUnmatchedWhereItIsLookedFor) {
  struct Case {
    const char* lines;
    const char* line;
    LineType type;
    bool misfit;
  };
  const char* misfit = "misfit=^\\* [^ ]+ \\([^)]*\\) \n";
  const std::string before = std::string(misfit) + "order=join\n";
  const std::string after = std::string(misfit) + "order=join,act,misfit\n";
  const std::string last = std::string("misfit=^(\\* [^ ]+ \\([^)]*\\) |X )\n") +
      "order=join,text,act,part,quit,kick,topic,nick,mode,date_stamp,channel,misfit\n";
  const std::string none = "order=join\n";
  const Case cases[] = {
      {before.c_str(), "* bob (~b@host) vient de rentrer", kTypeNull, true},
      {before.c_str(), "* bob waves", kTypeAction, false},
      {before.c_str(), "J bob", kTypeJoin, false},
      {after.c_str(), "* bob (~b@host) vient de rentrer", kTypeAction, false},
      {last.c_str(), "* bob (~b@host) vient de rentrer", kTypeAction, false},
      {last.c_str(), "bob (~b@host) vient de rentrer", kTypeNull, false},
      {last.c_str(), "X marks", kTypeNull, true},  // no type reads it; the misfit tells
      {none.c_str(), "* bob (~b@host) vient de rentrer", kTypeAction, false},
  };
  for (MatcherChoice matcher : {MatcherChoice::kOwn, MatcherChoice::kLibc}) {
    for (const Case& c : cases) {
      LineTypeTable table;
      TextStream in(FormatText(c.lines));
      StderrCapture capture;
      ASSERT_TRUE(ReadLogFormatSpec(in.stream, 0, table, matcher)) << c.lines;
      EXPECT_EQ(capture.Text(), "");
      LineTypeTable copy;
      ASSERT_TRUE(CopyLineTypeTable(table, copy));
      for (const LineTypeTable* t : {&table, &copy}) {
        LineMatch match = ClassifyLine(*t, c.line);
        EXPECT_EQ(match.type, c.type) << c.lines << c.line;
        EXPECT_EQ(match.misfit, c.misfit) << c.lines << c.line;
      }
    }
  }
}

TEST(FormatFile, AFileNameDefinitionCompilesLikeATypes) {
  struct Case {
    const char* lines;
    int verbosity;
    bool compiled;
    int datePart;
    const char* err;
  };
  const Case cases[] = {
      {"filename=_([0-9]{8})\\.log$,date\n", 0, true, 1, ""},
      {"FileName=^(x)([0-9]+)$,null,date\n", 0, true, 2, ""},
      {"filename=[0-9]{8}\n", 2, true, 0, "Compiled regexp \"[0-9]{8}\" for filename\n"},
      {"filename=\n", 0, false, 0, "Bad regexp for filename\n"},
      {"filename=(x,date\nfilename=(y),date\n", 0, true, 1, ""},
      {"filename=(x),date\nfilename=(y),date\n", 0, true, 1,
       "Repeat definition ignored for filename\n"},
      {"filename=(x),when\n", 0, true, 0, "Unknown line part when\n"},
  };
  for (const Case& c : cases) {
    LineTypeTable table;
    Reading reading = Read(c.lines + FormatText(""), table, c.verbosity);
    EXPECT_TRUE(reading.complete) << c.lines;
    EXPECT_EQ(table.fileName.pattern.compiled, c.compiled) << c.lines;
    EXPECT_EQ(table.fileName.parts[kPartDate], c.datePart) << c.lines;
    if (std::string(c.lines).starts_with("filename=(x,")) {
      EXPECT_EQ(reading.err, "Error in \"(x\" - " + CompileError("(x") + "\n");
      EXPECT_TRUE(Matches(table.fileName, "y"));
    } else if (c.verbosity < 2) {
      EXPECT_EQ(reading.err, c.err) << c.lines;
    } else {
      EXPECT_TRUE(reading.err.starts_with(c.err)) << reading.err;
    }
  }
}

}  // namespace
