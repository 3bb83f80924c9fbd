// Fuzzes the rendering of chat texts with any bytes as a stored text. What
// is written must be well-formed for the page: text without a bare "<",
// ">" or "\"", every "&" starting one of the four entities, only the tags
// the renderer makes, each closing tag closing an open one, nothing left
// open at the end, and links whose address and text are the same word.
// The HTML5 markup must be the same text with spans for the font tags.
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "report/text_rendering.h"

namespace {

bool Take(std::string_view& rest, std::string_view prefix) {
  if (rest.substr(0, prefix.size()) != prefix) return false;
  rest.remove_prefix(prefix.size());
  return true;
}

// Checks one stretch of plain text: the bytes that are not markup.
void CheckPlain(std::string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '<' || c == '>' || c == '"') fuzz_support::Finding("a bare markup character");
    if (c == '\n') fuzz_support::Finding("a newline that is not a line break");
    if (c != '&') continue;
    std::string_view entity = text.substr(i);
    if (!(entity.starts_with("&amp;") || entity.starts_with("&lt;") || entity.starts_with("&gt;") ||
          entity.starts_with("&quot;"))) {
      fuzz_support::Finding("an ampersand that starts no entity");
    }
  }
}

bool IsColourTag(std::string_view& rest) {
  std::string_view probe = rest;
  if (!Take(probe, "<font color=\"#") || probe.size() < 8) return false;
  for (int i = 0; i < 6; ++i) {
    char c = probe[static_cast<size_t>(i)];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  probe.remove_prefix(6);
  if (!Take(probe, "\">")) return false;
  rest = probe;
  return true;
}

// Takes "<a href=\"PREFIXWORD\">WORD</a>"; false when `rest` holds no link.
bool TakeLink(std::string_view& rest) {
  std::string_view probe = rest;
  if (!Take(probe, "<a href=\"")) return false;
  size_t close = probe.find("\">");
  if (close == std::string_view::npos) fuzz_support::Finding("an unterminated link");
  std::string_view address = probe.substr(0, close);
  probe.remove_prefix(close + 2);
  size_t end = probe.find("</a>");
  if (end == std::string_view::npos) fuzz_support::Finding("a link that is not closed");
  std::string_view word = probe.substr(0, end);
  probe.remove_prefix(end + 4);
  if (word.empty()) fuzz_support::Finding("a link without text");
  CheckPlain(word);
  if (address != word && address != "http://" + std::string(word) &&
      address != "ftp://" + std::string(word)) {
    fuzz_support::Finding("a link whose address is not its word");
  }
  bool hasScheme = word.starts_with("http://") || word.starts_with("https://") ||
                   word.starts_with("ftp://");
  if (hasScheme && address != word) fuzz_support::Finding("a prefix before a scheme");
  rest = probe;
  return true;
}

void CheckRendered(std::string_view html) {
  bool bold = false, underline = false, colour = false;
  std::string_view rest = html;
  while (!rest.empty()) {
    size_t markup = rest.find('<');
    CheckPlain(rest.substr(0, markup));
    if (markup == std::string_view::npos) break;
    rest.remove_prefix(markup);
    if (Take(rest, "<b>")) {
      if (bold) fuzz_support::Finding("bold opened twice");
      bold = true;
    } else if (Take(rest, "</b>")) {
      if (!bold) fuzz_support::Finding("bold closed while not open");
      bold = false;
    } else if (Take(rest, "<u>")) {
      if (underline) fuzz_support::Finding("underline opened twice");
      underline = true;
    } else if (Take(rest, "</u>")) {
      if (!underline) fuzz_support::Finding("underline closed while not open");
      underline = false;
    } else if (IsColourTag(rest)) {
      if (colour) fuzz_support::Finding("colour opened twice");
      colour = true;
    } else if (Take(rest, "</font>")) {
      if (!colour) fuzz_support::Finding("colour closed while not open");
      colour = false;
    } else if (Take(rest, "<br>")) {
      if (bold || underline || colour) fuzz_support::Finding("a line break inside formatting");
    } else if (!TakeLink(rest)) {
      fuzz_support::Finding("a tag the renderer does not make");
    }
  }
  if (bold || underline || colour) fuzz_support::Finding("formatting left open");
}

// The HTML 4.0 rendering with its colour tags written as HTML5 spans.
std::string AsHtml5(std::string_view html) {
  std::string converted;
  std::string_view rest = html;
  while (!rest.empty()) {
    if (Take(rest, "<font color=\"")) {
      converted += "<span style=\"color:";
    } else if (Take(rest, "</font>")) {
      converted += "</span>";
    } else {
      converted += rest.front();
      rest.remove_prefix(1);
    }
  }
  return converted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  fuzz_support::MemoryOutput out;
  RenderText(out.stream, text);
  std::string html = out.Finish();
  CheckRendered(html);
  fuzz_support::MemoryOutput html5;
  RenderText(html5.stream, text, TextMarkup::kHtml5);
  if (html5.Finish() != AsHtml5(html)) fuzz_support::Finding("HTML5 markup that differs in more than colours");

  // Nothing is written for an empty text, and a text is cut at its zero byte.
  size_t zero = text.find('\0');
  if (zero == 0 && !html.empty()) fuzz_support::Finding("output for an empty text");
  if (zero != std::string_view::npos) {
    fuzz_support::MemoryOutput cut;
    RenderText(cut.stream, text.substr(0, zero));
    if (cut.Finish() != html) fuzz_support::Finding("bytes after a zero byte were written");
  }
  return 0;
}
