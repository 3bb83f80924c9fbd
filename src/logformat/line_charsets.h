// Logs written in more than one character set, read as UTF-8. Each line
// that is valid in the logs' main character set is taken in it; any other
// line is taken in the fallback set (for example UTF-8, then CP1252). The
// conversions are iconv's. Both sets must write ASCII as ASCII: a line of
// ASCII bytes only is taken as it is.
#pragma once

#include <string>
#include <string_view>

struct LineCharsets {
  std::string main;      // the logs' character set, as iconv names it
  std::string fallback;  // for lines not valid in it; empty for none
};

// Whether iconv knows both sets; false with the name it does not know in
// `unknown`.
bool CheckLineCharsets(const LineCharsets& charsets, std::string& unknown);

// The conversions of one thread.
struct LineRecoder;
LineRecoder* OpenLineRecoder(const LineCharsets& charsets);
void CloseLineRecoder(LineRecoder* recoder);

// `line` in UTF-8: taken in the main set when it is valid there, otherwise
// in the fallback set, whose bytes that name no character (and, without a
// fallback, the main set's) become U+FFFD. The result is `line` itself
// when converting leaves it as it is; otherwise it stays valid until the
// next call.
std::string_view RecodeLine(LineRecoder& recoder, std::string_view line);
