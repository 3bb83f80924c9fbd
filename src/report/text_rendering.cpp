// Chat texts into HTML. A text is cut into runs of ordinary characters at the
// special characters; the special characters become entities, tags or line
// breaks, and the runs are written with their link words turned into links.

#include "report/text_rendering.h"

#include <array>

#include "stats/text_basics.h"

namespace {

// HTML colour texts indexed by the IRC colour number.
constexpr const char* IrcColours[14] = {
    "#ffffff", "#000000", "#00007f", "#007f00", "#7f0000", "#7f7f00", "#7f007f",
    "#9f5f00", "#00ff00", "#009f9f", "#00ffff", "#2020ff", "#ff2020", "#9f9f9f",
};

// A colour code can carry any number, but only 0 to 13 name a colour. Every
// other number (two digits above 13, a long run of digits, a negative number)
// gets the mid grey of entry 13: it stays readable on a light page and on a
// dark one, where white (the colour of a code without digits) or black could
// vanish into the background.
constexpr const char* kOutOfRangeColour = IrcColours[13];

constexpr char kBold = 0x02;
constexpr char kColour = 0x03;
constexpr char kUnderline = 0x1F;

// The characters at which a text is cut into runs.
constexpr std::array<bool, 256> kSpecial = [] {
  std::array<bool, 256> table{};
  for (unsigned char c : {'<', '>', '\n', '"', '(', ')', kBold, kColour, kUnderline}) {
    table[c] = true;
  }
  return table;
}();

// Stored texts end at their zero byte; a view that holds one ends there too.
std::string_view UpToZeroByte(std::string_view text) {
  size_t zero = text.find('\0');
  return zero == std::string_view::npos ? text : text.substr(0, zero);
}

void WriteBytes(FILE* out, std::string_view bytes) {
  if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), out);
}

const char* ColourFor(int64_t number) {
  return number >= 0 && number < 14 ? IrcColours[number] : kOutOfRangeColour;
}

size_t SkipDigits(std::string_view text, size_t pos) {
  while (pos < text.size() && IsCDigit(text[pos])) ++pos;
  return pos;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

struct RenderState {
  TextMarkup markup = TextMarkup::kHtml4;
  bool bold = false;
  bool underline = false;
  bool colour = false;
};

const char* ColourClosing(TextMarkup markup) {
  return markup == TextMarkup::kHtml5 ? "</span>" : "</font>";
}

// Closes what is open, always in the same order, and clears the state.
void CloseOpenTags(FILE* out, RenderState& state) {
  if (state.bold) fputs("</b>", out);
  if (state.underline) fputs("</u>", out);
  if (state.colour) fputs(ColourClosing(state.markup), out);
  state = RenderState{state.markup};
}

// Handles the colour code at `pos`; returns the position after what it consumed.
size_t HandleColourCode(FILE* out, std::string_view text, size_t pos, RenderState& state) {
  size_t next = pos + 1;
  if (state.colour) {
    // A second code only closes; digits after it are ordinary text.
    fputs(ColourClosing(state.markup), out);
    state.colour = false;
    return next;
  }
  // Read as atoi reads it; large values saturate, out of range anyway.
  int64_t number = ReadNumberAt(text, next);
  // Only the digits directly after the code are consumed, and the background
  // colour after a comma, which is not shown.
  next = SkipDigits(text, next);
  if (next < text.size() && text[next] == ',') next = SkipDigits(text, next + 1);
  if (state.markup == TextMarkup::kHtml5) {
    fprintf(out, "<span style=\"color:%s\">", ColourFor(number));
  } else {
    fprintf(out, "<font color=\"%s\">", ColourFor(number));
  }
  state.colour = true;
  return next;
}

struct LinkMarker {
  std::string_view text;
  size_t progress;
};

// Where the next link word at or after `scanStart` begins, or run.size()
// when there is none. Each marker keeps a count of how much of it the
// characters just seen have matched. On a mismatch the count restarts from the mismatching character
// alone, never from an earlier overlap. That is exact for the markers whose
// first character does not recur in them; "www." is the exception and is
// missed after four or more letters "w" ("wwww.").
size_t FindLinkWord(std::string_view run, size_t scanStart) {
  LinkMarker markers[] = {
      {"http://", 0}, {"ftp://", 0}, {"www.", 0}, {".com", 0},     {".org", 0},
      {".net", 0},    {".ca", 0},    {".uk", 0},  {"https://", 0},
  };
  for (size_t pos = scanStart; pos < run.size(); ++pos) {
    char c = run[pos];
    for (LinkMarker& marker : markers) {
      if (c == marker.text[marker.progress]) {
        if (++marker.progress < marker.text.size()) continue;
        // The word begins after the last white space before the marker's end.
        size_t start = pos;
        while (start > scanStart && !IsCSpace(run[start - 1])) --start;
        return start;
      }
      marker.progress = c == marker.text[0] ? 1 : 0;
    }
  }
  return run.size();
}

// Writes one run of ordinary characters, turning its link words into links.
void WriteLinks(FILE* out, std::string_view run) {
  size_t scan = 0;
  while (scan < run.size()) {
    size_t start = FindLinkWord(run, scan);
    if (start >= run.size()) break;
    WriteBytes(out, run.substr(scan, start - scan));
    size_t end = start;
    while (end < run.size() && !IsCSpace(run[end])) ++end;
    std::string_view word = run.substr(start, end - start);
    bool hasAt = word.find('@') != std::string_view::npos;
    if (hasAt && word.find(':') == std::string_view::npos) {
      // A mail address, not a link.
      WriteBytes(out, word);
    } else {
      const char* prefix = "http://";
      if (StartsWith(word, "http://") || StartsWith(word, "https://") ||
          StartsWith(word, "ftp://")) {
        prefix = "";
      } else if (hasAt || StartsWith(word, "ftp.")) {
        prefix = "ftp://";
      }
      fputs("<a href=\"", out);
      fputs(prefix, out);
      WriteBytes(out, word);
      fputs("\">", out);
      WriteBytes(out, word);
      fputs("</a>", out);
    }
    scan = end;
  }
  if (scan < run.size()) WriteBytes(out, run.substr(scan));
}

// Handles the special characters of an escaped text; hands every run of
// ordinary characters to WriteLinks.
void WriteFormatted(FILE* out, std::string_view escaped, TextMarkup markup) {
  std::string_view text = UpToZeroByte(escaped);
  RenderState state{markup};
  size_t pos = 0;
  while (pos < text.size()) {
    size_t special = pos;
    while (special < text.size() && !kSpecial[static_cast<unsigned char>(text[special])]) {
      ++special;
    }
    if (special > pos) WriteLinks(out, text.substr(pos, special - pos));
    if (special == text.size()) break;
    pos = special + 1;
    switch (text[special]) {
      case kBold:
        fputs(state.bold ? "</b>" : "<b>", out);
        state.bold = !state.bold;
        break;
      case kUnderline:
        fputs(state.underline ? "</u>" : "<u>", out);
        state.underline = !state.underline;
        break;
      case kColour:
        pos = HandleColourCode(out, text, special, state);
        break;
      case '\n':
        CloseOpenTags(out, state);
        fputs("<br>", out);
        break;
      case '"':
        fputs("&quot;", out);
        break;
      case '<':
        fputs("&lt;", out);
        break;
      case '>':
        fputs("&gt;", out);
        break;
      default:  // "(" and ")" end the run but are written as they are.
        fputc(text[special], out);
        break;
    }
  }
  // Nothing the text opened may spill over the rest of the page.
  CloseOpenTags(out, state);
}

// `text` with every "&" replaced by "&amp;".
std::string EscapeAmpersands(std::string_view text) {
  size_t ampersands = 0;
  for (char c : text) ampersands += c == '&';
  std::string escaped;
  escaped.reserve(text.size() + 4 * ampersands);
  size_t start = 0;
  for (size_t amp = text.find('&'); amp != std::string_view::npos; amp = text.find('&', start)) {
    escaped.append(text, start, amp - start);
    escaped += "&amp;";
    start = amp + 1;
  }
  escaped.append(text, start);
  return escaped;
}

}  // namespace

void RenderText(FILE* out, std::string_view text, TextMarkup markup) {
  std::string escaped = EscapeAmpersands(UpToZeroByte(text));
  WriteFormatted(out, escaped, markup);
}

std::string EscapedText(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
        break;
    }
  }
  return escaped;
}
