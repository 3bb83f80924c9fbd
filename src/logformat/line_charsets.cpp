#include "logformat/line_charsets.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace {

const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);
constexpr char kReplacement[] = "\xef\xbf\xbd";  // U+FFFD in UTF-8

}  // namespace

struct LineRecoder {
  iconv_t fromMain = kNoConversion;
  iconv_t fromFallback = kNoConversion;
  std::string out;
};

bool CheckLineCharsets(const LineCharsets& charsets, std::string& unknown) {
  for (const std::string* name : {&charsets.main, &charsets.fallback}) {
    if (name->empty() && name == &charsets.fallback) continue;
    iconv_t cd = iconv_open("UTF-8", name->c_str());
    if (cd == kNoConversion) {
      unknown = *name;
      return false;
    }
    iconv_close(cd);
  }
  return true;
}

LineRecoder* OpenLineRecoder(const LineCharsets& charsets) {
  LineRecoder* recoder = new LineRecoder;
  recoder->fromMain = iconv_open("UTF-8", charsets.main.c_str());
  if (!charsets.fallback.empty()) recoder->fromFallback = iconv_open("UTF-8", charsets.fallback.c_str());
  return recoder;
}

void CloseLineRecoder(LineRecoder* recoder) {
  if (recoder == nullptr) return;
  if (recoder->fromMain != kNoConversion) iconv_close(recoder->fromMain);
  if (recoder->fromFallback != kNoConversion) iconv_close(recoder->fromFallback);
  delete recoder;
}

namespace {

// Converts `line` with `cd` into `out`. With `replace`, a byte that starts
// no character becomes U+FFFD and the conversion goes on after it;
// otherwise such a byte fails the conversion.
bool Convert(iconv_t cd, std::string_view line, std::string& out, bool replace) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  out.resize(line.size() * 4 + 16);
  char* in = const_cast<char*>(line.data());
  size_t inLeft = line.size();
  char* to = out.data();
  size_t toLeft = out.size();
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &to, &toLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      size_t used = static_cast<size_t>(to - out.data());
      out.resize(out.size() * 2);
      to = out.data() + used;
      toLeft = out.size() - used;
      continue;
    }
    // EILSEQ, or EINVAL for a character cut off by the line's end.
    if (!replace) return false;
    if (toLeft < sizeof kReplacement) {
      size_t used = static_cast<size_t>(to - out.data());
      out.resize(out.size() + 16);
      to = out.data() + used;
      toLeft = out.size() - used;
    }
    memcpy(to, kReplacement, sizeof kReplacement - 1);
    to += sizeof kReplacement - 1;
    toLeft -= sizeof kReplacement - 1;
    ++in;
    --inLeft;
  }
  out.resize(static_cast<size_t>(to - out.data()));
  return true;
}

bool AllAscii(std::string_view line) {
  for (char c : line) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::string_view RecodeLine(LineRecoder& recoder, std::string_view line) {
  if (AllAscii(line) || recoder.fromMain == kNoConversion) return line;
  bool converted = Convert(recoder.fromMain, line, recoder.out, false);
  if (!converted) {
    if (recoder.fromFallback != kNoConversion) {
      Convert(recoder.fromFallback, line, recoder.out, true);
    } else {
      Convert(recoder.fromMain, line, recoder.out, true);
    }
  }
  if (recoder.out == line) return line;
  return recoder.out;
}
