// Writes chat texts into the page as HTML: escaping, IRC bold, underline and
// colour codes, line breaks and links.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// How IRC colours are marked up: with the font tags of HTML 4.0, or with
// spans that HTML5 allows. Everything else, escaping and links included, is
// written the same way in both.
enum class TextMarkup { kHtml4, kHtml5 };

// Writes one stored chat text as HTML, up to its first zero byte. Tags the
// text leaves open are closed at its end, so formatting never spills over
// the rest of the page.
void RenderText(FILE* out, std::string_view text, TextMarkup markup = TextMarkup::kHtml4);

// `text` with "&", "<", ">" and "\"" escaped, for names and other untrusted
// texts that templates take as an argument.
std::string EscapedText(std::string_view text);
