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
#include "logformat/line_record.h"

// One line of a batch: its text is zero-terminated in the batch's bytes,
// newline and ANSI sequences removed.
struct BatchLine {
  size_t offset = 0;
  size_t length = 0;
  uint64_t countedBytes = 0;  // what the line adds to the processed-bytes total
  LineRecord record;
};

struct LineBatch {
  std::vector<char> bytes;
  std::vector<BatchLine> lines;
  std::vector<LineMatch> wideMatches;  // the matches of lines too long for a compact record
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
// bytes, and its record points there. Messages are counted as `recording`
// says.
void ClassifyBatch(const LineTypeTable& table, LineBatch& batch,
                   const LineCharsets* charsets = nullptr,
                   const LineRecording& recording = LineRecording());

// Lines longer than this are classified on one thread at a time: the
// matcher's work tables grow with the line, several times its length.
constexpr size_t kLongLineBytes = 64 * 1024;

// Each classifying thread compiles a copy of the format; together the
// copies may cost about this much. The compiler takes roughly
// kCopyBytesPerPiece for every piece of an expression.
constexpr uint64_t kCopiesBudgetBytes = uint64_t{64} << 20;
constexpr uint64_t kCopyBytesPerPiece = 512;

// The number of threads to classify with when `requested` are asked for:
// fewer when the format is so large that its copies would pass the budget.
int AffordableWorkers(const LineTypeTable& table, int requested);

// The number of worker threads a pool may have when `requested` threads
// are asked for: the caller is one of them, and each worker has a copy of
// the format, so fewer for a format so large that its copies would pass
// the budget; 0 when one thread is asked for.
int AffordablePoolWorkers(const LineTypeTable& table, int requested);

// Classifies batches on worker threads while the caller takes them in file
// order; a caller whose next batch is not ready yet classifies a later one
// itself instead of waiting, so that no core idles. The workers live for the whole run: each compiles its copy of the
// format once, and the run's files stream through them one after another.
// Bounded: only a few batches per thread, and a few megabytes of memory per
// batch, are in flight; a batch that takes the memory over that (lines of
// many megabytes) is the last one read until batches have been taken.
struct ClassifierPool;
using ClassifierPoolHandle = std::unique_ptr<ClassifierPool, void (*)(ClassifierPool*)>;

// Starts `workers` threads (fewer when the system refuses one or a copy of
// the format does not compile); they stop when the returned handle goes.
// A pool without threads, for a single one, only keeps the caller's batch
// from file to file. REQUIRES: `table` outlives the handle.
ClassifierPoolHandle StartClassifierPool(const LineTypeTable& table, int workers);

// Whether the pool has worker threads.
bool PoolHasWorkers(const ClassifierPool& pool);

// A batch for the caller's own reading and classifying, kept from file to
// file so that small files need no fresh buffers.
LineBatch& CallerBatch(ClassifierPool& pool);

// Classifies a batch of the caller's on the caller's thread, with `table`
// (which no worker uses); a batch with a long line waits for any other
// such batch being classified, as on the workers.
void ClassifyCallerBatch(ClassifierPool& pool, const LineTypeTable& table, LineBatch& batch,
                         const LineCharsets* charsets = nullptr,
                         const LineRecording& recording = LineRecording());

// Hands the rest of a stream to the workers, read on from where `source`
// stands. REQUIRES: PoolHasWorkers, and the previous file's batches were
// all taken or its reading was ended with EndPoolFile.
// Its lines are made UTF-8 from `charsets` when given, and recorded as
// `recording` says; what they point to must outlive the file's reading.
void ClassifyNextFile(ClassifierPool& pool, BatchSource&& source,
                      const LineCharsets* charsets = nullptr,
                      const LineRecording& recording = LineRecording());

// The next batch of the current file, in file order; it stays valid until
// the next call. Meanwhile the caller may classify later batches with the
// table the pool was started with. Throws std::bad_alloc when a worker or
// the caller ran out of memory.
LineBatch& NextClassifiedBatch(ClassifierPool& pool);

// Ends the current file however far it was taken: the workers stop reading
// its stream (so the caller may close it) and the batches in flight are
// dropped. Nothing to do once its last batch was taken.
void EndPoolFile(ClassifierPool& pool);
