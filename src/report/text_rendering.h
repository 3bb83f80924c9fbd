// Writes chat texts into the page as HTML: escaping, IRC bold, underline and
// colour codes, line breaks and links.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

// Writes one stored chat text as HTML. Tags the text leaves open are closed
// at its end, so formatting never spills over the rest of the page.
void RenderText(FILE* out, std::string_view text);

// `text` with every "&" replaced by "&amp;".
std::string EscapeAmpersands(std::string_view text);

// Handles the special characters of an escaped text; hands every run of
// ordinary characters to WriteLinks.
void WriteFormatted(FILE* out, std::string_view escaped);

// Writes one run, turning its link words into links.
void WriteLinks(FILE* out, std::string_view run);

// Where the next link word at or after `scanStart` begins, or run.size()
// when there is none.
size_t FindLinkWord(std::string_view run, size_t scanStart);

// Writes a name or other untrusted text with "&", "<", ">" and "\"" escaped.
void WriteEscaped(FILE* out, std::string_view text);

// `text` as WriteEscaped writes it, for templates that take it as an argument.
std::string EscapedText(std::string_view text);
