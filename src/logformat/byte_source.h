// Where a log's bytes come from. The batch reader asks a source for the
// next bytes and knows nothing else of it, so a plain file, standard input
// or a stream that is decoded as it is read all read the same way.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

struct ByteSource {
  // Reads up to `capacity` bytes into `buffer` and returns how many it
  // read: 0 at the end of the bytes, and on a read error, which it reports
  // by setting `error` to the error's errno.
  size_t (*read)(void* handle, char* buffer, size_t capacity, int& error) = nullptr;
  // Why reading stopped, when the bytes themselves were at fault rather
  // than the system (a damaged compressed file): a text for the message,
  // or null when errno's text tells it. May be null.
  const char* (*failure)(void* handle) = nullptr;
  void* handle = nullptr;
  std::string name;  // what messages about the source call it
};

// A source that reads `in` with fread; `in` stays the caller's to close.
ByteSource FileByteSource(FILE* in, std::string_view name);
