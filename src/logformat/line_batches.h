// Reading a log in batches of whole lines and classifying them, on one
// thread or on several. Classification depends only on a line and the
// format, so batches may be classified in any order by any thread; they are
// handed out strictly in the order of the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "logformat/byte_source.h"
#include "logformat/classification.h"
#include "logformat/format_file.h"
#include "logformat/line_charsets.h"

// One line of a batch: its text is zero-terminated in the batch's bytes,
// newline and ANSI sequences removed.
struct BatchLine {
  size_t offset = 0;
  size_t length = 0;
  uint64_t countedBytes = 0;  // what the line adds to the processed-bytes total
  LineMatch match;
};

struct LineBatch {
  std::vector<char> bytes;
  std::vector<BatchLine> lines;
  size_t longestLine = 0;    // the stored bytes of its longest line
  bool readError = false;    // reading stopped on an error after these lines
  int readErrno = 0;         // the error's errno, saved where it happened
  bool endOfStream = false;  // no lines follow this batch
};

// Reads a byte source into batches; a line never spans two batches.
struct BatchSource {
  ByteSource bytes;
  std::vector<char> carry;  // lines, or the start of one, not yet handed out
  bool finished = false;
  // The line being read has had a zero byte: its text has ended, so the
  // rest of it is read and dropped, never stored.
  bool droppingToNewline = false;
  int readErrno = 0;  // nonzero when reading stopped on an error
};

// Fills `batch` with the next whole lines of the stream (about
// `targetBytes` of them unless the stream ends first, and at most one line
// per kBytesPerBatchLine of them) and cleans each one. Bytes after a line's
// first zero byte are dropped as they are read.
constexpr size_t kBytesPerBatchLine = 32;
void ReadBatch(BatchSource& source, size_t targetBytes, LineBatch& batch);

// Classifies every line of a batch, first made UTF-8 when `charsets` is
// given: a line that converting changes is written anew after the batch's
// bytes, and its record points there.
void ClassifyBatch(const LineTypeTable& table, LineBatch& batch,
                   const LineCharsets* charsets = nullptr);

// Lines longer than this are classified on one thread at a time: the
// matcher's work tables grow with the line, several times its length.
constexpr size_t kLongLineBytes = 64 * 1024;

// Each classifying thread but one compiles a copy of the format; together
// the copies may cost about this much. The compiler takes roughly
// kCopyBytesPerPiece for every piece of an expression.
constexpr uint64_t kCopiesBudgetBytes = uint64_t{64} << 20;
constexpr uint64_t kCopyBytesPerPiece = 512;

// The number of threads to classify with when `requested` are asked for:
// fewer when the format is so large that its copies would pass the budget.
int AffordableWorkers(const LineTypeTable& table, int requested);

// Classifies batches on `workers` threads while the caller takes them in
// file order. Bounded: only a few batches per worker, and a few megabytes
// of memory per batch, are in flight; a batch that takes the memory over
// that (lines of many megabytes) is the last one read until batches have
// been taken.
struct ParallelClassifier;

// Starts the workers on `bytes`; they stop when the returned handle goes.
// Empty for fewer than two workers, or when the system starts no thread.
// REQUIRES: what `bytes` reads from, `table` and `charsets` outlive the handle.
std::unique_ptr<ParallelClassifier, void (*)(ParallelClassifier*)> StartParallelClassifier(
    const ByteSource& bytes, const LineTypeTable& table, int workers,
    const LineCharsets* charsets = nullptr);

// The next batch in file order; it stays valid until the next call. Throws
// std::bad_alloc when a worker ran out of memory.
LineBatch& NextClassifiedBatch(ParallelClassifier& classifier);
