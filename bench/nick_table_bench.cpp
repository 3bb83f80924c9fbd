// Adds 200,000 distinct nicks to a NickTable the way the log reader does
// (FindNick, then AddNick when it finds nothing), then looks every nick up
// again in another letter case, and prints how long each phase took.
//
// Build and run from the top of the repository:
//   g++ -std=c++20 -O2 -Wall -Wextra -Werror -Isrc bench/nick_table_bench.cpp src/stats/tables.cpp
//   src/stats/samples.cpp -o /tmp/nick_table_bench /tmp/nick_table_bench [nick count]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? atoi(argv[1]) : 200000;
  if (count <= 0) {
    fprintf(stderr, "usage: %s [nick count]\n", argv[0]);
    return 1;
  }
  std::vector<std::string> nicks;
  std::vector<std::string> shouted;
  nicks.reserve(count);
  shouted.reserve(count);
  for (int i = 0; i < count; ++i) {
    nicks.push_back(MakeNick(i));
    shouted.push_back(Upper(nicks.back()));
  }

  NickTable table;
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

  if (found != count || static_cast<int>(table.records.size()) != count) {
    fprintf(stderr, "wrong table: %zu records, %lld found\n", table.records.size(),
            static_cast<long long>(found));
    return 1;
  }
  printf(
      "%d distinct nicks: find+add %.3f s (%.0f ns each), find in another case %.3f s (%.0f ns "
      "each)\n",
      count, addSeconds, addSeconds * 1e9 / count, findSeconds, findSeconds * 1e9 / count);
  return 0;
}
