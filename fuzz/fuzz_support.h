// Small helpers shared by the fuzz harnesses: the input as a read stream,
// a stream that swallows what is written, and the folder of the sources.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz_support {

// The bytes of one fuzz input as a read stream. An empty input reads as
// /dev/null because fmemopen refuses a zero-length buffer in some C
// libraries.
struct InputStream {
  std::string bytes;
  FILE* stream = nullptr;

  InputStream(const uint8_t* data, size_t size) : bytes(reinterpret_cast<const char*>(data), size) {
    stream = bytes.empty() ? fopen("/dev/null", "r") : fmemopen(bytes.data(), bytes.size(), "r");
    if (stream == nullptr) abort();
  }
  explicit InputStream(std::string text) : bytes(std::move(text)) {
    stream = bytes.empty() ? fopen("/dev/null", "r") : fmemopen(bytes.data(), bytes.size(), "r");
    if (stream == nullptr) abort();
  }
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;
  ~InputStream() { fclose(stream); }
};

// An output stream that discards everything, opened once per process.
inline FILE* NullOutput() {
  static FILE* sink = fopen("/dev/null", "w");
  if (sink == nullptr) abort();
  return sink;
}

// A text written into memory, for harnesses that look at what was written.
struct MemoryOutput {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* stream = nullptr;

  MemoryOutput() {
    stream = open_memstream(&buffer, &size);
    if (stream == nullptr) abort();
  }
  MemoryOutput(const MemoryOutput&) = delete;
  MemoryOutput& operator=(const MemoryOutput&) = delete;
  ~MemoryOutput() {
    if (stream != nullptr) fclose(stream);
    free(buffer);
  }
  // Closes the stream and returns everything written.
  std::string Finish() {
    fclose(stream);
    stream = nullptr;
    return std::string(buffer, size);
  }
};

// Whether a format expression may hold a backreference ("\\" and a digit
// from 1 to 9). The matcher takes time that grows steeply with the line's
// length on those (a few backreferences and a few hundred characters can
// take minutes), which the README names as a risk of hand-written formats;
// the harnesses leave such formats unmatched, or they would only report
// that slowness over and over.
inline bool MayHoldBackReference(std::string_view text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '\\' && text[i + 1] >= '1' && text[i + 1] <= '9') return true;
  }
  return false;
}

// Ends the fuzzer with a finding; libFuzzer reports the input that led here.
[[noreturn]] inline void Finding(const char* what) {
  fprintf(stderr, "finding: %s\n", what);
  fflush(stderr);
  abort();
}

}  // namespace fuzz_support
