// Writes chat texts into the page as HTML: escaping, IRC bold, underline and
// colour codes, line breaks and links.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Writes one stored chat text as HTML, up to its first zero byte. Tags the
// text leaves open are closed at its end, so formatting never spills over
// the rest of the page.
void RenderText(FILE* out, std::string_view text);

// `text` with "&", "<", ">" and "\"" escaped, for names and other untrusted
// texts that templates take as an argument.
std::string EscapedText(std::string_view text);
