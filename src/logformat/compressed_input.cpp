#include "logformat/compressed_input.h"

#include <cerrno>
#include <cstring>
#include <vector>

#ifdef TALLYWICK_HAVE_ZLIB
#include <zlib.h>
#endif
#ifdef TALLYWICK_HAVE_BZIP2
#include <bzlib.h>
#endif
#ifdef TALLYWICK_HAVE_LZMA
#include <lzma.h>
#endif
#ifdef TALLYWICK_HAVE_ZSTD
#include <zstd.h>
#endif

// One field per library; only the one of the input's kind is in use.
struct LogDecoder {
  std::vector<unsigned char> in;  // compressed bytes read ahead
  size_t inStart = 0;
  size_t inEnd = 0;
  bool inputEnded = false;  // the file has no more bytes
  bool finished = false;    // the compressed data ended cleanly
  bool betweenMembers = false;  // a gzip member or bzip2 stream has just ended
  int failedErrno = 0;      // nonzero once reading has failed
  std::string failure;      // the reason, when the data was at fault
#ifdef TALLYWICK_HAVE_ZLIB
  z_stream zlib{};
  bool zlibReady = false;
#endif
#ifdef TALLYWICK_HAVE_BZIP2
  bz_stream bzip2{};
  bool bzip2Ready = false;
#endif
#ifdef TALLYWICK_HAVE_LZMA
  lzma_stream lzma = LZMA_STREAM_INIT;
  bool lzmaReady = false;
#endif
#ifdef TALLYWICK_HAVE_ZSTD
  ZSTD_DStream* zstd = nullptr;
  size_t zstdPending = 0;  // ZSTD_decompressStream's last hint: 0 at a frame's end
#endif
};

void DestroyLogDecoder(LogDecoder* decoder) {
  if (decoder == nullptr) return;
#ifdef TALLYWICK_HAVE_ZLIB
  if (decoder->zlibReady) inflateEnd(&decoder->zlib);
#endif
#ifdef TALLYWICK_HAVE_BZIP2
  if (decoder->bzip2Ready) BZ2_bzDecompressEnd(&decoder->bzip2);
#endif
#ifdef TALLYWICK_HAVE_LZMA
  if (decoder->lzmaReady) lzma_end(&decoder->lzma);
#endif
#ifdef TALLYWICK_HAVE_ZSTD
  ZSTD_freeDStream(decoder->zstd);
#endif
  delete decoder;
}

namespace {

constexpr size_t kCompressedChunk = 128 * 1024;

// The bytes that open a compressed file or stream of each kind.
struct Magic {
  Compression kind;
  const char* bytes;
  size_t size;
};
constexpr Magic kMagics[] = {
    {Compression::kGzip, "\x1f\x8b", 2},
    {Compression::kBzip2, "BZh", 3},
    {Compression::kXz, "\xfd" "7zXZ\0", 6},
    {Compression::kZstd, "\x28\xb5\x2f\xfd", 4},
};

// Marks the decoder failed because the data is damaged.
[[maybe_unused]] void FailOnData(LogDecoder& d, const char* what, const char* detail) {
  d.failedErrno = EIO;
  d.failure = what;
  if (detail != nullptr && *detail != '\0') {
    d.failure += ": ";
    d.failure += detail;
  }
}

// Makes compressed bytes available unless the file has ended; false on a
// read error, which is then the decoder's failure.
[[maybe_unused]] bool RefillInput(LogInput& input, LogDecoder& d) {
  if (d.inStart < d.inEnd || d.inputEnded) return true;
  d.inStart = 0;
  d.inEnd = fread(d.in.data(), 1, d.in.size(), input.in);
  if (d.inEnd == 0) {
    if (ferror(input.in)) {
      d.failedErrno = errno != 0 ? errno : EIO;
      return false;
    }
    d.inputEnded = true;
  }
  return true;
}

[[maybe_unused]] const char* TruncatedReason(Compression kind) {
  switch (kind) {
    case Compression::kGzip: return "truncated gzip data (the file ends inside it)";
    case Compression::kBzip2: return "truncated bzip2 data (the file ends inside it)";
    case Compression::kXz: return "truncated xz data (the file ends inside it)";
    case Compression::kZstd: return "truncated zstd data (the file ends inside it)";
    case Compression::kNone: break;
  }
  return "truncated data";
}

#ifdef TALLYWICK_HAVE_ZLIB
bool StartGzip(LogDecoder& d) {
  // 16 above the window size: gzip headers only, never raw zlib data.
  if (inflateInit2(&d.zlib, 15 + 16) != Z_OK) return false;
  d.zlibReady = true;
  return true;
}

// Inflates into `out` until it is full or the data ends. Members written
// one after the other (`cat a.gz b.gz`) read as one stream.
size_t DecodeGzip(LogInput& input, LogDecoder& d, char* out, size_t capacity) {
  z_stream& z = d.zlib;
  z.next_out = reinterpret_cast<Bytef*>(out);
  z.avail_out = static_cast<uInt>(capacity);
  while (z.avail_out > 0) {
    if (!RefillInput(input, d)) break;
    if (d.inStart == d.inEnd) {
      if (d.betweenMembers) d.finished = true;
      else FailOnData(d, TruncatedReason(Compression::kGzip), nullptr);
      break;
    }
    if (d.betweenMembers) {
      inflateReset(&z);  // another member follows
      d.betweenMembers = false;
    }
    z.next_in = d.in.data() + d.inStart;
    z.avail_in = static_cast<uInt>(d.inEnd - d.inStart);
    int status = inflate(&z, Z_NO_FLUSH);
    d.inStart = d.inEnd - z.avail_in;
    if (status == Z_STREAM_END) {
      d.betweenMembers = true;
    } else if (status != Z_OK && status != Z_BUF_ERROR) {
      FailOnData(d, "corrupt gzip data", z.msg);
      break;
    }
  }
  return capacity - z.avail_out;
}
#endif

#ifdef TALLYWICK_HAVE_BZIP2
bool StartBzip2(LogDecoder& d) {
  if (BZ2_bzDecompressInit(&d.bzip2, 0, 0) != BZ_OK) return false;
  d.bzip2Ready = true;
  return true;
}

// Several streams one after the other (parallel compressors write them)
// read as one.
size_t DecodeBzip2(LogInput& input, LogDecoder& d, char* out, size_t capacity) {
  bz_stream& bz = d.bzip2;
  bz.next_out = out;
  bz.avail_out = static_cast<unsigned>(capacity);
  while (bz.avail_out > 0) {
    if (!RefillInput(input, d)) break;
    if (d.inStart == d.inEnd) {
      if (d.betweenMembers) d.finished = true;
      else FailOnData(d, TruncatedReason(Compression::kBzip2), nullptr);
      break;
    }
    if (d.betweenMembers) {
      BZ2_bzDecompressEnd(&bz);
      d.bzip2Ready = false;
      char* nextOut = bz.next_out;
      unsigned room = bz.avail_out;
      bz = bz_stream{};
      if (!StartBzip2(d)) {
        FailOnData(d, "bzip2 could not start another stream", nullptr);
        break;
      }
      bz.next_out = nextOut;
      bz.avail_out = room;
      d.betweenMembers = false;
    }
    bz.next_in = reinterpret_cast<char*>(d.in.data() + d.inStart);
    bz.avail_in = static_cast<unsigned>(d.inEnd - d.inStart);
    int status = BZ2_bzDecompress(&bz);
    d.inStart = d.inEnd - bz.avail_in;
    if (status == BZ_STREAM_END) {
      d.betweenMembers = true;
    } else if (status != BZ_OK) {
      FailOnData(d, "corrupt bzip2 data",
                 status == BZ_DATA_ERROR_MAGIC ? "not bzip2 data after the end of a stream"
                 : status == BZ_MEM_ERROR      ? "out of memory"
                                               : "the data check failed");
      break;
    }
  }
  return capacity - bz.avail_out;
}
#endif

#ifdef TALLYWICK_HAVE_LZMA
bool StartXz(LogDecoder& d) {
  // Concatenated streams and stream padding are read as xz itself reads them.
  if (lzma_stream_decoder(&d.lzma, UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK) return false;
  d.lzmaReady = true;
  return true;
}

const char* XzFailure(lzma_ret status) {
  switch (status) {
    case LZMA_FORMAT_ERROR: return "not xz data";
    case LZMA_OPTIONS_ERROR: return "unsupported options";
    case LZMA_DATA_ERROR: return "the data is damaged";
    case LZMA_MEM_ERROR: return "out of memory";
    default: return "the decoder failed";
  }
}

size_t DecodeXz(LogInput& input, LogDecoder& d, char* out, size_t capacity) {
  lzma_stream& s = d.lzma;
  s.next_out = reinterpret_cast<uint8_t*>(out);
  s.avail_out = capacity;
  while (s.avail_out > 0) {
    if (!RefillInput(input, d)) break;
    s.next_in = d.in.data() + d.inStart;
    s.avail_in = d.inEnd - d.inStart;
    lzma_ret status = lzma_code(&s, d.inputEnded ? LZMA_FINISH : LZMA_RUN);
    d.inStart = d.inEnd - s.avail_in;
    if (status == LZMA_STREAM_END) {
      d.finished = true;
      break;
    }
    if (status == LZMA_BUF_ERROR && d.inputEnded) {
      FailOnData(d, TruncatedReason(Compression::kXz), nullptr);
      break;
    }
    if (status != LZMA_OK && status != LZMA_BUF_ERROR) {
      FailOnData(d, "corrupt xz data", XzFailure(status));
      break;
    }
  }
  return capacity - s.avail_out;
}
#endif

#ifdef TALLYWICK_HAVE_ZSTD
bool StartZstd(LogDecoder& d) {
  d.zstd = ZSTD_createDStream();
  return d.zstd != nullptr && !ZSTD_isError(ZSTD_initDStream(d.zstd));
}

// Frames one after the other read as one stream.
size_t DecodeZstd(LogInput& input, LogDecoder& d, char* out, size_t capacity) {
  ZSTD_outBuffer o = {out, capacity, 0};
  while (o.pos < o.size) {
    if (!RefillInput(input, d)) break;
    if (d.inStart == d.inEnd) {
      if (d.zstdPending != 0) FailOnData(d, TruncatedReason(Compression::kZstd), nullptr);
      else d.finished = true;
      break;
    }
    ZSTD_inBuffer i = {d.in.data(), d.inEnd, d.inStart};
    size_t hint = ZSTD_decompressStream(d.zstd, &o, &i);
    d.inStart = i.pos;
    if (ZSTD_isError(hint)) {
      FailOnData(d, "corrupt zstd data", ZSTD_getErrorName(hint));
      break;
    }
    d.zstdPending = hint;
  }
  return o.pos;
}
#endif

// Hands out the bytes read to tell the kind, then the file's.
size_t ReadPlain(LogInput& input, char* buffer, size_t capacity, int& error) {
  if (input.headTaken < input.headSize) {
    size_t n = std::min(capacity, input.headSize - input.headTaken);
    memcpy(buffer, input.head + input.headTaken, n);
    input.headTaken += n;
    return n;
  }
  if (input.headErrno != 0) {
    error = input.headErrno;
    return 0;
  }
  size_t got = fread(buffer, 1, capacity, input.in);
  if (got == 0 && ferror(input.in)) error = errno != 0 ? errno : EIO;
  return got;
}

size_t Decode(LogInput& input, [[maybe_unused]] LogDecoder& d, [[maybe_unused]] char* buffer,
              [[maybe_unused]] size_t capacity) {
  switch (input.compression) {
#ifdef TALLYWICK_HAVE_ZLIB
    case Compression::kGzip: return DecodeGzip(input, d, buffer, capacity);
#endif
#ifdef TALLYWICK_HAVE_BZIP2
    case Compression::kBzip2: return DecodeBzip2(input, d, buffer, capacity);
#endif
#ifdef TALLYWICK_HAVE_LZMA
    case Compression::kXz: return DecodeXz(input, d, buffer, capacity);
#endif
#ifdef TALLYWICK_HAVE_ZSTD
    case Compression::kZstd: return DecodeZstd(input, d, buffer, capacity);
#endif
    default: break;
  }
  return 0;
}

size_t ReadLogInput(void* handle, char* buffer, size_t capacity, int& error) {
  LogInput& input = *static_cast<LogInput*>(handle);
  if (input.decoder == nullptr) return ReadPlain(input, buffer, capacity, error);
  LogDecoder& d = *input.decoder;
  // What was decoded before a failure is handed out first; the failure
  // comes with the next read.
  if (d.failedErrno == 0 && !d.finished) {
    size_t got = Decode(input, d, buffer, capacity);
    if (got > 0) return got;
  }
  error = d.failedErrno;
  return 0;
}

const char* LogInputFailure(void* handle) {
  const LogInput& input = *static_cast<const LogInput*>(handle);
  if (input.decoder == nullptr || input.decoder->failure.empty()) return nullptr;
  return input.decoder->failure.c_str();
}

bool StartDecoder(Compression kind, [[maybe_unused]] LogDecoder& d) {
  switch (kind) {
#ifdef TALLYWICK_HAVE_ZLIB
    case Compression::kGzip: return StartGzip(d);
#endif
#ifdef TALLYWICK_HAVE_BZIP2
    case Compression::kBzip2: return StartBzip2(d);
#endif
#ifdef TALLYWICK_HAVE_LZMA
    case Compression::kXz: return StartXz(d);
#endif
#ifdef TALLYWICK_HAVE_ZSTD
    case Compression::kZstd: return StartZstd(d);
#endif
    default: break;
  }
  return false;
}

}  // namespace

Compression CompressionOfMagic(const unsigned char* bytes, size_t size) {
  for (const Magic& magic : kMagics) {
    if (size >= magic.size && memcmp(bytes, magic.bytes, magic.size) == 0) {
      // "BZh" is followed by the block size, a digit from 1 to 9.
      if (magic.kind == Compression::kBzip2 && (size < 4 || bytes[3] < '1' || bytes[3] > '9')) {
        continue;
      }
      return magic.kind;
    }
  }
  return Compression::kNone;
}

const char* CompressionName(Compression kind) {
  switch (kind) {
    case Compression::kGzip: return "gzip";
    case Compression::kBzip2: return "bzip2";
    case Compression::kXz: return "xz";
    case Compression::kZstd: return "zstd";
    case Compression::kNone: break;
  }
  return "";
}

const char* CompressionLibrary(Compression kind) {
  switch (kind) {
    case Compression::kGzip: return "zlib";
    case Compression::kBzip2: return "libbz2";
    case Compression::kXz: return "liblzma";
    case Compression::kZstd: return "libzstd";
    case Compression::kNone: break;
  }
  return "";
}

bool CompressionBuiltIn(Compression kind) {
  switch (kind) {
    case Compression::kNone: return true;
#ifdef TALLYWICK_HAVE_ZLIB
    case Compression::kGzip: return true;
#endif
#ifdef TALLYWICK_HAVE_BZIP2
    case Compression::kBzip2: return true;
#endif
#ifdef TALLYWICK_HAVE_LZMA
    case Compression::kXz: return true;
#endif
#ifdef TALLYWICK_HAVE_ZSTD
    case Compression::kZstd: return true;
#endif
    default: break;
  }
  return false;
}

bool OpenLogInput(FILE* in, std::string_view name, LogInput& input) {
  input.in = in;
  input.name.assign(name);
  // The longest magic is six bytes; a read that stops early on a pipe is
  // carried on until they are there or the input ends.
  constexpr size_t kMagicBytes = 6;
  while (input.headSize < kMagicBytes) {
    size_t got = fread(input.head + input.headSize, 1, kMagicBytes - input.headSize, in);
    if (got == 0) {
      if (ferror(in)) input.headErrno = errno != 0 ? errno : EIO;
      break;
    }
    input.headSize += got;
  }
  input.compression = CompressionOfMagic(input.head, input.headSize);
  if (input.compression == Compression::kNone) return true;
  if (!CompressionBuiltIn(input.compression)) return false;
  input.decoder.reset(new LogDecoder);
  LogDecoder& d = *input.decoder;
  d.in.resize(kCompressedChunk);
  memcpy(d.in.data(), input.head, input.headSize);
  d.inEnd = input.headSize;
  input.headTaken = input.headSize;
  if (!StartDecoder(input.compression, d)) {
    d.failedErrno = ENOMEM;  // the libraries fail to start only for memory
  }
  return true;
}

ByteSource LogInputByteSource(LogInput& input) {
  ByteSource source;
  source.read = ReadLogInput;
  source.failure = LogInputFailure;
  source.handle = &input;
  source.name = input.name;
  return source;
}

std::string_view NameWithoutCompressionSuffix(std::string_view name, Compression kind) {
  static constexpr struct {
    Compression kind;
    const char* suffix;
  } kSuffixes[] = {
      {Compression::kGzip, ".gz"},   {Compression::kGzip, ".gzip"},
      {Compression::kBzip2, ".bz2"}, {Compression::kBzip2, ".bz"},
      {Compression::kBzip2, ".bzip2"}, {Compression::kXz, ".xz"},
      {Compression::kZstd, ".zst"},  {Compression::kZstd, ".zstd"},
  };
  for (const auto& entry : kSuffixes) {
    if (entry.kind == kind && name.ends_with(entry.suffix)) {
      return name.substr(0, name.size() - strlen(entry.suffix));
    }
  }
  return name;
}
