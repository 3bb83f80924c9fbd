#include "driver/page_charset.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "stats/text_basics.h"

namespace {

const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);

struct Recoding {
  FILE* out = nullptr;
  iconv_t toPage = kNoConversion;
  iconv_t toCodePoint = kNoConversion;  // UTF-8 to UTF-32LE, for references
  std::string pending;  // the start of a character that the next write completes
  std::string converted;
};

bool Put(Recoding& r, const char* bytes, size_t size) {
  return size == 0 || fwrite(bytes, 1, size, r.out) == size;
}

// The character at `in` as a reference; the bytes it took in `taken`. False
// when the bytes there are no whole UTF-8 character.
bool Reference(Recoding& r, const char* in, size_t left, size_t& taken, std::string& text) {
  iconv(r.toCodePoint, nullptr, nullptr, nullptr, nullptr);
  unsigned char code[4];
  for (size_t length = 1; length <= 4 && length <= left; ++length) {
    char* from = const_cast<char*>(in);
    size_t fromLeft = length;
    char* to = reinterpret_cast<char*>(code);
    size_t toLeft = sizeof code;
    if (iconv(r.toCodePoint, &from, &fromLeft, &to, &toLeft) != static_cast<size_t>(-1) &&
        toLeft == 0) {
      uint32_t point = code[0] | (uint32_t{code[1]} << 8) | (uint32_t{code[2]} << 16) |
                       (uint32_t{code[3]} << 24);
      text = "&#" + std::to_string(point) + ";";
      taken = length;
      return true;
    }
    if (errno == EILSEQ) return false;
  }
  return false;
}

// Converts `size` bytes; false when the output failed.
bool Recode(Recoding& r, const char* data, size_t size, bool last) {
  std::string input = r.pending;
  input.append(data, size);
  r.pending.clear();
  char* in = input.data();
  size_t inLeft = input.size();
  while (inLeft > 0) {
    r.converted.resize(inLeft * 4 + 64);
    char* to = r.converted.data();
    size_t toLeft = r.converted.size();
    size_t status = iconv(r.toPage, &in, &inLeft, &to, &toLeft);
    int error = errno;
    if (!Put(r, r.converted.data(), r.converted.size() - toLeft)) return false;
    if (status != static_cast<size_t>(-1) || error == E2BIG) continue;
    if (error == EINVAL && !last && inLeft < 4) {
      r.pending.assign(in, inLeft);  // cut off by the end of this write
      return true;
    }
    // A character the page's set lacks, or a byte that is not UTF-8.
    size_t taken = 1;
    std::string reference;
    if (Reference(r, in, inLeft, taken, reference)) {
      if (!Put(r, reference.data(), reference.size())) return false;
    } else if (!Put(r, in, 1)) {
      return false;
    }
    in += taken;
    inLeft -= taken;
  }
  return true;
}

ssize_t WriteRecoded(void* cookie, const char* data, size_t size) {
  Recoding& r = *static_cast<Recoding*>(cookie);
  return Recode(r, data, size, false) ? static_cast<ssize_t>(size) : -1;
}

int CloseRecoding(void* cookie) {
  Recoding* r = static_cast<Recoding*>(cookie);
  bool ok = r->pending.empty() || Recode(*r, "", 0, true);
  iconv_close(r->toPage);
  iconv_close(r->toCodePoint);
  delete r;
  return ok ? 0 : EOF;
}

}  // namespace

bool IsUtf8Name(const std::string& charset) {
  return NamesEqualIgnoringCase(charset, "utf-8") || NamesEqualIgnoringCase(charset, "utf8");
}

bool CanWritePageIn(const std::string& charset) {
  iconv_t cd = iconv_open(charset.c_str(), "UTF-8");
  if (cd == kNoConversion) return false;
  iconv_close(cd);
  return true;
}

FILE* OpenRecodingStream(FILE* out, const std::string& charset) {
  iconv_t toPage = iconv_open(charset.c_str(), "UTF-8");
  if (toPage == kNoConversion) return nullptr;
  iconv_t toCodePoint = iconv_open("UTF-32LE", "UTF-8");
  if (toCodePoint == kNoConversion) {
    iconv_close(toPage);
    return nullptr;
  }
  Recoding* r = new Recoding;
  r->out = out;
  r->toPage = toPage;
  r->toCodePoint = toCodePoint;
  cookie_io_functions_t functions = {nullptr, WriteRecoded, nullptr, CloseRecoding};
  FILE* stream = fopencookie(r, "w", functions);
  if (stream == nullptr) {
    CloseRecoding(r);
    return nullptr;
  }
  return stream;
}
