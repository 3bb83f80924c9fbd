// Writing a page whose texts are UTF-8 in the character set the page
// declares: a stream that converts what is written to it with iconv and
// passes it on, writing each character the set cannot hold as a numeric
// character reference ("&#8364;"). A byte that is not UTF-8 passes as it is.
#pragma once

#include <cstdio>
#include <string>

// Whether a character-set name is UTF-8's, in any of its spellings.
bool IsUtf8Name(const std::string& charset);

// Whether iconv converts UTF-8 into `charset`.
bool CanWritePageIn(const std::string& charset);

// A stream that writes to `out` in `charset`; closing it flushes it and
// leaves `out` open. Null, with errno set, when iconv does not know the set.
FILE* OpenRecodingStream(FILE* out, const std::string& charset);
