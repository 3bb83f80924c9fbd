// Adds distinct nicks (200,000 unless given) to a NickTable the way the log
// reader does (FindNick, then AddNick when it finds nothing), then looks
// every nick up again in another letter case, and prints how long each phase
// took; once for ordinary nicks and once for nicks made to collide in the
// unkeyed hash the index once used (bench/colliding_nicks.h). Then removes
// every second nick at once, as an exclusion file of half the nicks does.
//
// Build and run from the top of the repository:
//   g++ -std=c++20 -O2 -Wall -Wextra -Werror -Isrc -I. bench/nick_table_bench.cpp
//   src/stats/tables.cpp src/stats/samples.cpp src/stats/text_basics.cpp -o /tmp/nick_table_bench
//   /tmp/nick_table_bench [nick count]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/colliding_nicks.h"
#include "stats/tables.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Nicks shaped like real ones: a word, sometimes a digit suffix or "_".
std::string MakeNick(int i) {
  static const char* const kStems[] = {"alice",   "Bob",   "carol", "Dave",   "eve",
                                       "Mallory", "trent", "Peggy", "victor", "Walter"};
  std::string nick = kStems[i % 10];
  nick += std::to_string(i / 10);
  if (i % 7 == 0) nick += '_';
  return nick;
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
  }
  return text;
}

// Fills a table with `nicks` and looks each up again shouted; prints the
// times and returns false when the table is wrong.
bool TimeTable(const char* what, const std::vector<std::string>& nicks, NickTable& table) {
  std::vector<std::string> shouted;
  shouted.reserve(nicks.size());
  for (const std::string& nick : nicks) shouted.push_back(Upper(nick));

  auto start = std::chrono::steady_clock::now();
  for (const std::string& nick : nicks) {
    NickRecord* record = FindNick(table, nick);
    if (record == nullptr) record = &AddNick(table, nick);
    ++record->lines;
  }
  double addSeconds = SecondsSince(start);

  start = std::chrono::steady_clock::now();
  int64_t found = 0;
  for (const std::string& nick : shouted) {
    NickRecord* record = FindNick(table, nick);
    if (record != nullptr) found += record->lines;
  }
  double findSeconds = SecondsSince(start);

  size_t count = nicks.size();
  if (found != static_cast<int64_t>(count) || table.records.size() != count) {
    fprintf(stderr, "wrong table: %zu records, %lld found\n", table.records.size(),
            static_cast<long long>(found));
    return false;
  }
  printf(
      "%zu %s nicks: find+add %.3f s (%.0f ns each), find in another case %.3f s (%.0f ns "
      "each), longest run of slots %zu\n",
      count, what, addSeconds, addSeconds * 1e9 / count, findSeconds, findSeconds * 1e9 / count,
      colliding_nicks::LongestOccupiedRun(table.index.slots));
  return true;
}

// Removes every second nick in one go and checks what is left.
bool TimeRemoval(const std::vector<std::string>& nicks, NickTable& table) {
  auto start = std::chrono::steady_clock::now();
  std::vector<bool> marked;
  for (size_t i = 0; i < nicks.size(); i += 2) MarkNick(table, nicks[i], marked);
  RemoveMarkedNicks(table, marked);
  double seconds = SecondsSince(start);
  for (size_t i = 0; i < nicks.size(); ++i) {
    if ((FindNick(table, nicks[i]) == nullptr) != (i % 2 == 0)) {
      fprintf(stderr, "wrong removal at %s\n", nicks[i].c_str());
      return false;
    }
  }
  printf("removing %zu of %zu nicks at once: %.3f s\n", (nicks.size() + 1) / 2, nicks.size(),
         seconds);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? atoi(argv[1]) : 200000;
  if (count <= 0) {
    fprintf(stderr, "usage: %s [nick count]\n", argv[0]);
    return 1;
  }
  std::vector<std::string> ordinary;
  ordinary.reserve(count);
  for (int i = 0; i < count; ++i) ordinary.push_back(MakeNick(i));
  int bits = 4;
  while ((int64_t{1} << bits) < int64_t{count} * 2 + 2) ++bits;  // the index's final size
  std::vector<std::string> crafted =
      colliding_nicks::FnvCollidingNicks(static_cast<size_t>(count), bits);

  NickTable ordinaryTable, craftedTable;
  if (!TimeTable("ordinary", ordinary, ordinaryTable)) return 1;
  if (!TimeTable("crafted", crafted, craftedTable)) return 1;
  if (!TimeRemoval(ordinary, ordinaryTable)) return 1;
  return 0;
}
