// A generated year of a busy channel, in the layout of test_support::kFormat,
// for the checks that look at a page as a browser shows it: a column per
// week in the daily chart, fifty nicks (one with a very long name), words
// far wider than a phone, links, IRC codes and markup characters.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "report/chart_buckets.h"
#include "stats/tables.h"

namespace test_support {

inline std::string YearLongLog() {
  static const char* const kWeekdays[7] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::string texts[] = {
      "hello there",
      "see http://example.org/" + std::string(150, 'x'),
      std::string(180, 'A'),
      "what? really?",
      "\x03" "4,12colour\x03 and \x02" "bold\x02",
      "<script>alert(1)</script> & stuff",
      "javascript:alert(1).com and www.example.net/a?b=1&c=2",
      "lol",
  };
  uint32_t state = 20210101;
  auto next = [&state](uint32_t n) {
    state = state * 1103515245u + 12345u;
    return (state >> 16) % n;
  };
  auto nick = [&next](char* into, size_t size) {
    uint32_t n = next(50);
    if (n == 7) {
      snprintf(into, size, "grace_with_a_nickname_far_too_long_to_fit");
    } else {
      snprintf(into, size, "nick%02u", n < 12 ? n : next(50));
    }
  };
  std::string log;
  char line[512];
  char who[64];
  const int64_t first = DayNumberOfDate(2021, 1, 1);
  for (int64_t d = 0; d < 365; ++d) {
    const CivilDate date = CivilDateOf(first + d);
    snprintf(line, sizeof line, "--- Day changed %s %s %02d %04d\n", kWeekdays[date.weekday],
             kMonths[date.month - 1], date.day, static_cast<int>(date.year));
    log += line;
    const uint32_t lines = d % 50 == 49 ? 0 : 5 + next(40);
    for (uint32_t i = 0; i < lines; ++i) {
      nick(who, sizeof who);
      snprintf(line, sizeof line, "%02u:%02u <%s> %s\n", next(24), next(60), who,
               texts[next(8)].c_str());
      log += line;
    }
    if (d % 30 == 0) {
      log += "12:00 -!- nick01 set the topic to topic " + std::to_string(d) +
             " with a long word " + std::string(120, 'y') + "\n";
      log += "12:01 -!- nick01 kicked nick02 [reason " + std::string(100, 'z') + "]\n";
      log += "12:02 -!- nick03 quit [Quit: " + std::string(90, 'q') + "]\n";
    }
  }
  return log;
}

}  // namespace test_support
