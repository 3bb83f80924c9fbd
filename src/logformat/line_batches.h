// Reading a log in batches of whole lines and classifying them, on one
// thread or on several. Classification depends only on a line and the
// format, so batches may be classified in any order by any thread; they are
// handed out strictly in the order of the file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "logformat/format_file.h"
#include "logformat/classification.h"

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
  bool readError = false;    // reading stopped on an error after these lines
  bool endOfStream = false;  // no lines follow this batch
};

// Reads a stream into batches; a line never spans two batches.
struct BatchSource {
  FILE* in = nullptr;
  std::vector<char> carry;  // the start of a line that the last read cut
  bool finished = false;
};

// Fills `batch` with the next whole lines of the stream (at least about
// `targetBytes` of them unless the stream ends first) and cleans each one.
void ReadBatch(BatchSource& source, size_t targetBytes, LineBatch& batch);

// Classifies every line of a batch.
void ClassifyBatch(const LineTypeTable& table, LineBatch& batch);

// Classifies batches on `workers` threads while the caller takes them in
// file order. Bounded: only a few batches per worker are in flight.
struct ParallelClassifier;

// Starts the workers on `in`; they stop when the returned handle goes.
// REQUIRES: `in` and `table` outlive the handle; workers >= 1.
std::unique_ptr<ParallelClassifier, void (*)(ParallelClassifier*)> StartParallelClassifier(
    FILE* in, const LineTypeTable& table, int workers);

// The next batch in file order; it stays valid until the next call.
LineBatch& NextClassifiedBatch(ParallelClassifier& classifier);
