// The style sheet of the modern page: the user's colours and fonts as CSS
// variables, a dark scheme derived from them, and the layout that keeps
// the page readable from a phone to a wide screen.
#pragma once

#include <cstdio>
#include <string>

#include "report/page_style.h"

// Writes the page's <style> element.
void WriteModernStyleSheet(FILE* out, const PageStyle& style);

// `colour` when it is three or six hexadecimal digits, otherwise a neutral
// grey: a setting value never leaves its CSS declaration.
std::string CssColour(const std::string& colour);

// A font face name for a CSS font list: the name in double quotes followed
// by a comma, with every character but letters, digits, blanks, "-", "_"
// and "." left out; empty when nothing is left.
std::string CssFontName(const std::string& font);
