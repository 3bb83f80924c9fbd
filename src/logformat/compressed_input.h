// Log files as rotation leaves them: a file or standard input whose first
// bytes are the magic of gzip, bzip2, xz or zstd is decompressed as it is
// read, through the library made for it; anything else is read as it is.
// The kind is told by the content, never by the name. Each library is
// optional when the program is built: a compressed input of a kind the
// build cannot read is refused with a message saying which support is
// missing.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "logformat/byte_source.h"

enum class Compression { kNone, kGzip, kBzip2, kXz, kZstd };

// The library state of a compressed input (defined where it is used).
struct LogDecoder;
void DestroyLogDecoder(LogDecoder* decoder);

struct LogInput {
  FILE* in = nullptr;  // the caller's; it stays open
  std::string name;    // what messages call the input
  Compression compression = Compression::kNone;
  // The first bytes, read to tell the kind; handed out before the rest.
  unsigned char head[8] = {};
  size_t headSize = 0;
  size_t headTaken = 0;
  int headErrno = 0;  // a read error met while reading them
  std::unique_ptr<LogDecoder, void (*)(LogDecoder*)> decoder{nullptr, DestroyLogDecoder};
};

// The kind whose magic `bytes` start with; kNone for anything else.
Compression CompressionOfMagic(const unsigned char* bytes, size_t size);

// "gzip", "bzip2", "xz", "zstd"; "" for kNone.
const char* CompressionName(Compression kind);
// The library that reads the kind ("zlib", "libbz2", "liblzma", "libzstd").
const char* CompressionLibrary(Compression kind);
// Whether this build reads the kind.
bool CompressionBuiltIn(Compression kind);

// Reads the first bytes of `in` to tell its compression and prepares
// `input` to read it. False when it is compressed in a kind this build
// cannot read; `input.compression` then names the kind.
bool OpenLogInput(FILE* in, std::string_view name, LogInput& input);

// The bytes of an opened input, decompressed. A corrupt or truncated
// compressed input gives the bytes decoded before the damage, then a read
// error whose reason LogInputFailure tells.
// REQUIRES: `input` stays where it is while the source is in use.
ByteSource LogInputByteSource(LogInput& input);

// `name` without the suffix that names its compression (".gz", ".bz2",
// ".xz", ".zst" and their longer spellings), so that a date in a rotated
// file's name reads as in the plain file's.
std::string_view NameWithoutCompressionSuffix(std::string_view name, Compression kind);
