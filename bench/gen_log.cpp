// Writes a realistic, reproducible channel log in the benchmark's layout
// (bench/bench-format.txt): "HH:MM <nick> text" lines, actions, joins, parts,
// quits, kicks, topics, nick and mode changes, "--- Day changed" lines with
// consecutive calendar dates, "--- Log opened/closed" lines, and a few lines
// that no pattern matches. The same size and seed always give the same bytes.
//
//   gen_log SIZE_MB [-s SEED] [-o FILE]      (1 MB = 1000000 bytes)

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// splitmix64: small, fast and fully specified, so the output never depends
// on the C library's generator.
struct Random {
  uint64_t state;
};

uint64_t Next(Random& random) {
  uint64_t z = (random.state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// A number from 0 to bound - 1.
uint32_t Below(Random& random, uint32_t bound) {
  return static_cast<uint32_t>((Next(random) >> 32) % bound);
}

// True with a chance of `perTenThousand` in 10000.
bool Chance(Random& random, uint32_t perTenThousand) {
  return Below(random, 10000) < perTenThousand;
}

template <size_t N>
const char* Pick(Random& random, const char* const (&list)[N]) {
  return list[Below(random, static_cast<uint32_t>(N))];
}

// Draws an index with the given integer weights (cumulative, ascending).
size_t Weighted(Random& random, const std::vector<uint64_t>& cumulative) {
  uint64_t target = Next(random) % cumulative.back();
  return static_cast<size_t>(std::upper_bound(cumulative.begin(), cumulative.end(), target) -
                             cumulative.begin());
}

const char* const kWeekdays[7] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};  // 1970-01-01 was a Thursday
const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct Date {
  int year, month, day;  // month 1..12
  int64_t serial;        // days since 1970-01-01
};

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

void NextDay(Date& date) {
  ++date.serial;
  if (++date.day > DaysInMonth(date.year, date.month)) {
    date.day = 1;
    if (++date.month > 12) {
      date.month = 1;
      ++date.year;
    }
  }
}

const char* Weekday(const Date& date) { return kWeekdays[((date.serial % 7) + 7) % 7]; }

const char* const kSyllables[] = {
    "ka", "ri", "to", "mu", "ne", "sa", "lo", "vi", "da", "ze", "po", "qu", "an", "el", "or",
    "ix", "um", "ba", "ce", "fi", "go", "hu", "ja", "ly", "mo", "ny", "ra", "si", "tu", "wo",
    "xe", "yo", "zi", "br", "st", "th", "ch", "sh", "kr", "dr",
};
const char* const kNickTails[] = {"", "", "", "", "", "_", "2", "`", "|w", "42", "x", "^"};
const char* const kAwaySuffixes[] = {"_away", "|afk", "`", "_", "|work", "_zzz"};

const char* const kWords[] = {
    "the",    "a",       "to",      "is",     "it",       "and",     "i",       "you",
    "that",   "of",      "in",      "on",     "for",      "with",    "but",     "not",
    "just",   "what",    "so",      "do",     "have",     "this",    "be",      "can",
    "was",    "no",      "yes",     "if",     "my",       "we",      "they",    "there",
    "about",  "think",   "know",    "like",   "really",   "now",     "then",    "time",
    "code",   "build",   "server",  "kernel", "patch",    "release", "bug",     "fix",
    "test",   "compile", "branch",  "merge",  "config",   "script",  "shell",   "network",
    "driver", "package", "upgrade", "disk",   "memory",   "thread",  "lock",    "queue",
    "coffee", "lunch",   "weekend", "today",  "tomorrow", "morning", "night",   "home",
    "work",   "office",  "meeting", "deploy", "crash",    "log",     "error",   "warning",
    "works",  "broken",  "weird",   "nice",   "cool",     "great",   "awful",   "slow",
    "fast",   "maybe",   "probably", "never", "always",   "again",   "already", "still",
    "lol",    "heh",     "hmm",     "ok",     "sure",     "thanks",  "sorry",   "please",
    "why",    "how",     "when",    "where",  "who",      "which",   "anyone",  "everyone",
    "should", "would",   "could",   "will",   "did",      "does",    "got",     "get",
    "try",    "tried",   "use",     "using",  "need",     "want",    "see",     "look",
    "file",   "files",   "machine", "box",    "laptop",   "screen",  "window",  "mail",
    "list",   "channel", "topic",   "wiki",   "docs",     "manual",  "version", "old",
    "new",    "more",    "less",    "some",   "all",      "one",     "two",     "three",
};
const char* const kSmileys[] = {":)", ":D", ";)", ":(", ":P", "^_^", "o/", "\\o/", ":-)", "xD"};
const char* const kQuitMessages[] = {
    "Quit: leaving",
    "Ping timeout: 240 seconds",
    "Read error: Connection reset by peer",
    "Remote host closed the connection",
    "Quit: Lost terminal",
    "Client Quit",
    "Quit: brb",
    "Excess Flood",
    "Quit: off to bed",
    "Changing host",
    "*.net *.split",
    "Quit: http://www.example.org/client/",
};
const char* const kPartMessages[] = {"", "", "", "", "bye", "later", "Leaving"};
const char* const kKickReasons[] = {"flood", "behave", "no spam please", "go away",
                                    "too loud", "bye", "you asked for it", ""};
const char* const kHostForms[] = {"%s.users.example.net", "%u-%u-%u-%u.dsl.example.com",
                                  "unaffiliated/%s", "%s.cloak.example.org"};
const char* const kTlds[] = {"org", "com", "net", "io", "de"};
const char* const kUnparsedForms[] = {
    "-!- Irssi: Join to %s was synced in %u secs",
    "-!- Netsplit hub.example.net <-> leaf.example.org quits: %s",
    "-!- ServerMode/%s [+nt] by irc.example.net",
    "-!- Irssi: %s: Total of %u nicks [%u ops, 0 halfops, 2 voices, 40 normal]",
};

constexpr const char* kChannel = "#bench";
constexpr size_t kNickCount = 400;

struct Nick {
  std::string base;
  std::string host;
  int away = -1;  // index into kAwaySuffixes while the nick goes by another name
  bool op = false;
  bool voice = false;
};

std::string CurrentName(const Nick& nick) {
  return nick.away < 0 ? nick.base : nick.base + kAwaySuffixes[nick.away];
}

std::vector<Nick> MakeNicks(Random& random) {
  std::vector<Nick> nicks;
  std::vector<std::string> seen;
  while (nicks.size() < kNickCount) {
    std::string name;
    int syllables = 2 + static_cast<int>(Below(random, 3));
    for (int i = 0; i < syllables; ++i) name += Pick(random, kSyllables);
    if (Chance(random, 3000)) name[0] = static_cast<char>(name[0] - 'a' + 'A');
    name += Pick(random, kNickTails);
    std::string folded = name;
    for (char& c : folded) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (std::find(seen.begin(), seen.end(), folded) != seen.end()) continue;
    seen.push_back(folded);
    Nick nick;
    nick.base = name;
    std::string plain;  // hosts and idents keep letters and digits only
    for (char c : folded) {
      if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) plain += c;
    }
    char host[96];
    const char* form = Pick(random, kHostForms);
    if (strstr(form, "%u") != nullptr) {
      snprintf(host, sizeof host, form, 10 + Below(random, 200), Below(random, 256),
               Below(random, 256), 1 + Below(random, 254));
    } else {
      snprintf(host, sizeof host, form, plain.c_str());
    }
    std::string ident = plain.substr(0, 8);
    nick.host = (Chance(random, 5000) ? "~" : "") + ident + "@" + host;
    nicks.push_back(std::move(nick));
  }
  // The most active nicks are the channel's operators and voiced regulars.
  for (size_t i = 0; i < nicks.size(); ++i) {
    nicks[i].op = i < 8 || (i < 40 && i % 9 == 0);
    nicks[i].voice = !nicks[i].op && i < 60 && i % 4 == 0;
  }
  return nicks;
}

struct Generator {
  Random random;
  std::vector<Nick> nicks;
  std::vector<uint64_t> activity;  // Zipf-like: weight of rank r is about 1/(r+3)
  std::vector<uint64_t> lineTypes;
  size_t previousSpeaker = 0;
  std::string line;
};

enum Kind { kText, kAction, kJoin, kPart, kQuit, kKick, kTopic, kNickChange, kMode, kUnparsed, kKinds };

// Line kinds per 10000 lines.
const uint64_t kKindWeights[kKinds] = {7710, 420, 620, 230, 480, 35, 15, 160, 300, 30};

size_t PickNick(Generator& g) { return Weighted(g.random, g.activity); }

size_t PickSpeaker(Generator& g) {
  // People talk in bursts: a third of the lines continue the last speaker.
  if (Chance(g.random, 3300)) return g.previousSpeaker;
  g.previousSpeaker = PickNick(g);
  return g.previousSpeaker;
}

void AddWord(Generator& g, std::string& out, bool shout) {
  std::string word = Pick(g.random, kWords);
  if (shout) {
    for (char& c : word) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  if (!out.empty() && out.back() != ' ') out += ' ';
  out += word;
}

void AddUrl(Generator& g, std::string& out) {
  if (!out.empty() && out.back() != ' ') out += ' ';
  char url[160];
  switch (Below(g.random, 4)) {
    case 0:
      snprintf(url, sizeof url, "http://www.%s.%s/%s/%u.html", Pick(g.random, kWords),
               Pick(g.random, kTlds), Pick(g.random, kWords), Below(g.random, 10000));
      break;
    case 1:
      snprintf(url, sizeof url, "https://%s.example.%s/?id=%u&page=%u", Pick(g.random, kWords),
               Pick(g.random, kTlds), Below(g.random, 100000), Below(g.random, 50));
      break;
    case 2:
      snprintf(url, sizeof url, "www.%s%s.com", Pick(g.random, kWords), Pick(g.random, kWords));
      break;
    default:
      snprintf(url, sizeof url, "ftp://ftp.example.net/pub/%s-%u.%u.tar.gz",
               Pick(g.random, kWords), Below(g.random, 10), Below(g.random, 30));
      break;
  }
  out += url;
}

// The text of a spoken line: words, and now and then an addressed nick, a
// question, shouting, a URL, a seen request, smileys and formatting codes.
std::string MessageText(Generator& g) {
  std::string out;
  if (Chance(g.random, 50)) {
    out = "!seen " + CurrentName(g.nicks[PickNick(g)]);
    return out;
  }
  bool shout = Chance(g.random, 250);
  if (Chance(g.random, 1200)) out = CurrentName(g.nicks[PickNick(g)]) + ": ";
  // Mostly short lines with a long tail.
  int words = 1 + static_cast<int>(Below(g.random, 6)) + static_cast<int>(Below(g.random, 6));
  if (Chance(g.random, 1500)) words += 6 + static_cast<int>(Below(g.random, 20));
  bool url = Chance(g.random, 180);
  int urlAt = url ? static_cast<int>(Below(g.random, static_cast<uint32_t>(words) + 1)) : -1;
  for (int i = 0; i < words; ++i) {
    if (i == urlAt) AddUrl(g, out);
    if (Chance(g.random, 60)) {
      out += " \x02";
      AddWord(g, out, shout);
      out += '\x02';
    } else if (Chance(g.random, 50)) {
      char colour[8];
      snprintf(colour, sizeof colour, " \x03%u", Below(g.random, 16));
      out += colour;
      if (Chance(g.random, 3000)) out += ",1";
      AddWord(g, out, shout);
      out += '\x03';
    } else if (Chance(g.random, 15)) {
      out += " \x1f";
      AddWord(g, out, shout);
      out += '\x1f';
    } else {
      AddWord(g, out, shout);
    }
  }
  if (urlAt == words) AddUrl(g, out);
  if (shout) {
    out += Chance(g.random, 5000) ? "!!" : "!";
  } else if (Chance(g.random, 1100)) {
    out += '?';
  } else if (Chance(g.random, 800)) {
    out += ' ';
    out += Pick(g.random, kSmileys);
  } else if (Chance(g.random, 1000)) {
    out += '.';
  }
  return out;
}

std::string ActionText(Generator& g) {
  static const char* const kVerbs[] = {"waves", "yawns", "laughs", "agrees", "shrugs",
                                       "nods", "sighs", "grins", "looks at", "hugs"};
  std::string out = Pick(g.random, kVerbs);
  if (Chance(g.random, 4000)) out += " " + CurrentName(g.nicks[PickNick(g)]);
  if (Chance(g.random, 5000)) {
    int words = 1 + static_cast<int>(Below(g.random, 6));
    for (int i = 0; i < words; ++i) AddWord(g, out, false);
  }
  return out;
}

size_t PickOperator(Generator& g) {
  for (;;) {
    size_t who = PickNick(g);
    if (g.nicks[who].op) return who;
  }
}

void WriteLine(Generator& g, int hour, int minute, Kind kind) {
  char stamp[8];
  snprintf(stamp, sizeof stamp, "%02d:%02d ", hour, minute);
  std::string& line = g.line;
  line = stamp;
  switch (kind) {
    case kText: {
      const Nick& nick = g.nicks[PickSpeaker(g)];
      line += '<';
      if (nick.op) {
        line += '@';
      } else if (nick.voice) {
        line += '+';
      } else if (Chance(g.random, 1500)) {
        line += ' ';
      }
      line += CurrentName(nick) + "> " + MessageText(g);
      break;
    }
    case kAction:
      line += " * " + CurrentName(g.nicks[PickSpeaker(g)]) + " " + ActionText(g);
      break;
    case kJoin: {
      Nick& nick = g.nicks[PickNick(g)];
      nick.away = -1;
      line += "-!- " + nick.base + " [" + nick.host + "] has joined " + kChannel;
      break;
    }
    case kPart: {
      const Nick& nick = g.nicks[PickNick(g)];
      line += "-!- " + CurrentName(nick) + " [" + nick.host + "] has left " + kChannel + " [" +
              Pick(g.random, kPartMessages) + "]";
      break;
    }
    case kQuit: {
      const Nick& nick = g.nicks[PickNick(g)];
      line += "-!- " + CurrentName(nick) + " [" + nick.host + "] has quit [" +
              Pick(g.random, kQuitMessages) + "]";
      break;
    }
    case kKick: {
      size_t kicker = PickOperator(g);
      size_t victim = PickNick(g);
      line += "-!- " + CurrentName(g.nicks[victim]) + " was kicked from " + kChannel + " by " +
              CurrentName(g.nicks[kicker]) + " [" + Pick(g.random, kKickReasons) + "]";
      break;
    }
    case kTopic: {
      std::string topic;
      int words = 3 + static_cast<int>(Below(g.random, 8));
      for (int i = 0; i < words; ++i) AddWord(g, topic, false);
      if (Chance(g.random, 3000)) {
        topic += " |";
        AddUrl(g, topic);
      }
      line += "-!- " + CurrentName(g.nicks[PickOperator(g)]) + " changed the topic of " +
              kChannel + " to: " + topic;
      break;
    }
    case kNickChange: {
      Nick& nick = g.nicks[PickNick(g)];
      std::string from = CurrentName(nick);
      if (nick.away >= 0 && Chance(g.random, 7000)) {
        nick.away = -1;
      } else {
        nick.away = static_cast<int>(Below(g.random, 6));
      }
      std::string to = CurrentName(nick);
      if (to == from) to = nick.base + "_";
      line += "-!- " + from + " is now known as " + to;
      break;
    }
    case kMode: {
      static const char* const kModes[] = {"+o", "-o", "+v", "-v", "+b", "+o-v"};
      const char* mode = Pick(g.random, kModes);
      const Nick& nick = g.nicks[PickNick(g)];
      std::string target =
          mode[1] == 'b' ? "*!*@" + nick.host.substr(nick.host.find('@') + 1) : CurrentName(nick);
      line += std::string("-!- mode/") + kChannel + " [" + mode + " " + target + "] by " +
              CurrentName(g.nicks[PickOperator(g)]);
      break;
    }
    case kUnparsed: {
      char text[200];
      const char* form = Pick(g.random, kUnparsedForms);
      if (strstr(form, "quits") != nullptr) {
        std::string who = CurrentName(g.nicks[PickNick(g)]) + ", " +
                          CurrentName(g.nicks[PickNick(g)]);
        snprintf(text, sizeof text, form, who.c_str());
      } else {
        snprintf(text, sizeof text, form, kChannel, 1 + Below(g.random, 60), Below(g.random, 9));
      }
      line += text;
      break;
    }
    case kKinds:
      break;
  }
  line += '\n';
}

// "Www Mmm dd HH:MM:SS yyyy", as the log-opened and log-closed lines give it.
std::string LongStamp(const Date& date, int hour, int minute, int second) {
  char text[40];
  snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d", Weekday(date),
           kMonths[date.month - 1], date.day, hour, minute, second, date.year);
  return text;
}

struct Output {
  FILE* out;
  uint64_t written = 0;
};

void Put(Output& output, const std::string& text) {
  fwrite(text.data(), 1, text.size(), output.out);
  output.written += text.size();
}

// Activity by hour of day: quiet nights, busy evenings.
const uint32_t kHourWeights[24] = {30, 20, 12, 8,  6,  6,  10, 20, 40, 60, 70, 75,
                                   70, 75, 80, 85, 85, 90, 95, 100, 100, 90, 70, 50};

}  // namespace

int main(int argc, char** argv) {
  double megabytes = -1;
  uint64_t seed = 20240601;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "-s") == 0 && i + 1 < argc) {
      seed = strtoull(argv[++i], nullptr, 10);
    } else if (strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      path = argv[++i];
    } else if (megabytes < 0) {
      char* end = nullptr;
      megabytes = strtod(argv[i], &end);
      if (end == argv[i] || *end != '\0' || megabytes <= 0) megabytes = -2;
    } else {
      megabytes = -2;
    }
  }
  if (megabytes <= 0) {
    fprintf(stderr, "usage: gen_log SIZE_MB [-s SEED] [-o FILE]   (1 MB = 1000000 bytes)\n");
    return 2;
  }
  FILE* out = path != nullptr ? fopen(path, "wb") : stdout;
  if (out == nullptr) {
    perror(path);
    return 1;
  }
  static char buffer[1 << 16];
  setvbuf(out, buffer, _IOFBF, sizeof buffer);

  Generator g;
  g.random.state = seed;
  g.nicks = MakeNicks(g.random);
  uint64_t total = 0;
  for (size_t rank = 0; rank < g.nicks.size(); ++rank) {
    total += 1000000 / (rank + 3);
    g.activity.push_back(total);
  }
  total = 0;
  for (uint64_t weight : kKindWeights) g.lineTypes.push_back(total += weight);

  const uint64_t target = static_cast<uint64_t>(megabytes * 1e6);
  Output output{out};
  Date date{2003, 11, 17, 12373};  // Mon Nov 17 2003
  Put(output, "--- Log opened " + LongStamp(date, 0, 0, 3) + "\n");
  bool first = true;
  int lastHour = 0, lastMinute = 0;
  while (output.written < target) {
    if (!first) NextDay(date);
    first = false;
    Put(output, std::string("--- Day changed ") + Weekday(date) + " " + kMonths[date.month - 1] +
                    " " + (date.day < 10 ? "0" : "") + std::to_string(date.day) + " " +
                    std::to_string(date.year) + "\n");
    // Busier on weekdays, and some days are much busier than others.
    bool weekend = Weekday(date)[0] == 'S';
    uint32_t lines = (weekend ? 900 : 1500) + Below(g.random, 1200);
    if (Chance(g.random, 500)) lines *= 3;
    // A restart of the logging client now and then, at some hour of the day.
    int restartHour = Chance(g.random, 400) ? static_cast<int>(Below(g.random, 24)) : -1;
    for (int hour = 0; hour < 24 && output.written < target; ++hour) {
      uint32_t count = lines * kHourWeights[hour] / 1347;
      count = count / 2 + Below(g.random, count + 1);
      std::vector<int> minutes(count);
      for (int& minute : minutes) minute = static_cast<int>(Below(g.random, 60));
      std::sort(minutes.begin(), minutes.end());
      for (size_t i = 0; i < minutes.size() && output.written < target; ++i) {
        if (hour == restartHour && i == minutes.size() / 2) {
          Put(output, "--- Log closed " + LongStamp(date, hour, minutes[i], 2) + "\n");
          Put(output, "--- Log opened " + LongStamp(date, hour, minutes[i], 31) + "\n");
        }
        WriteLine(g, hour, minutes[i], static_cast<Kind>(Weighted(g.random, g.lineTypes)));
        lastHour = hour;
        lastMinute = minutes[i];
        Put(output, g.line);
      }
    }
  }
  Put(output, "--- Log closed " + LongStamp(date, lastHour, lastMinute, 45) + "\n");
  if (fflush(out) != 0 || (path != nullptr && fclose(out) != 0)) {
    perror(path != nullptr ? path : "stdout");
    return 1;
  }
  return 0;
}
