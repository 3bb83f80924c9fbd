// Captures what a writer puts on a stream, for tests that compare exact bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// Runs `write` on a memory stream and returns the exact bytes it wrote.
template <typename Write>
std::string Capture(Write write) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&buffer, &size);
  if (out == nullptr) {
    ADD_FAILURE() << "open_memstream failed";
    return {};
  }
  write(out);
  fclose(out);
  std::string bytes(buffer, size);
  free(buffer);
  return bytes;
}
