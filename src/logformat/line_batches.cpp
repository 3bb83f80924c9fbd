#include "logformat/line_batches.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "logformat/pattern_size.h"

namespace {

// A batch's bytes are made room for a read at a time, zero-filled, so a
// smaller read leaves less memory standing beyond the batch's lines.
constexpr size_t kReadChunk = 64 * 1024;

// Splits the first `used` bytes of a batch into lines and cleans each one:
// a zero byte ends a line's text, and ANSI sequences are removed. Stops
// after `maxLines` lines; returns the bytes taken, which end at a line's end.
size_t SplitLines(LineBatch& batch, size_t used, size_t maxLines) {
  char* data = batch.bytes.data();
  size_t start = 0;
  while (start < used && batch.lines.size() < maxLines) {
    char* newline = static_cast<char*>(memchr(data + start, '\n', used - start));
    size_t end = newline ? static_cast<size_t>(newline - data) : used;
    data[end] = '\0';  // the buffer keeps a spare byte for a last line without newline
    BatchLine line;
    line.offset = start;
    size_t length = strnlen(data + start, end - start);
    line.countedBytes = length < end - start ? length : end - start + (newline ? 1 : 0);
    line.length = StripAnsiCodes(data + start, length);
    batch.longestLine = std::max(batch.longestLine, end - start);
    batch.lines.push_back(line);
    start = end + 1;
  }
  return std::min(start, used);
}

// Removes in place the bytes of a freshly read chunk that follow a zero
// byte up to the end of their line; the zero byte and the newline stay, so
// the line reads and counts as before. Returns the bytes kept.
size_t DropBytesAfterZero(bool& dropping, char* chunk, size_t size) {
  size_t in = 0, out = 0;
  while (in < size) {
    if (dropping) {
      const char* newline = static_cast<const char*>(memchr(chunk + in, '\n', size - in));
      if (newline == nullptr) return out;
      in = static_cast<size_t>(newline - chunk);
      dropping = false;
    }
    const char* zero = static_cast<const char*>(memchr(chunk + in, '\0', size - in));
    size_t end = zero ? static_cast<size_t>(zero - chunk) + 1 : size;
    if (out != in) memmove(chunk + out, chunk + in, end - in);
    out += end - in;
    in = end;
    if (zero) dropping = true;
  }
  return out;
}

// Reads until the bytes hold `targetBytes` and a newline, or the stream
// ends; returns the bytes held.
size_t FillBytes(BatchSource& source, size_t targetBytes, std::vector<char>& bytes) {
  size_t used = bytes.size();
  bool haveNewline = used > 0 && memchr(bytes.data(), '\n', used) != nullptr;
  while (!source.finished && (used < targetBytes || !haveNewline)) {
    bytes.resize(used + kReadChunk + 1);
    int error = 0;
    size_t got = source.bytes.read(source.bytes.handle, bytes.data() + used, kReadChunk, error);
    if (got == 0) {
      source.finished = true;
      source.readErrno = error;
      break;
    }
    got = DropBytesAfterZero(source.droppingToNewline, bytes.data() + used, got);
    if (!haveNewline) haveNewline = memchr(bytes.data() + used, '\n', got) != nullptr;
    used += got;
  }
  return used;
}

}  // namespace

void ReadBatch(BatchSource& source, size_t targetBytes, LineBatch& batch) {
  batch.lines.clear();
  batch.wideMatches.clear();
  batch.longestLine = 0;
  batch.readError = false;
  batch.readErrno = 0;
  batch.endOfStream = false;
  batch.bytes.swap(source.carry);
  source.carry.clear();
  size_t used = FillBytes(source, targetBytes, batch.bytes);
  size_t whole = used;  // the bytes of whole lines
  if (!source.finished) {
    const char* data = batch.bytes.data();
    while (whole > 0 && data[whole - 1] != '\n') --whole;
  }
  batch.bytes.resize(used + 1);
  size_t maxLines = std::max<size_t>(targetBytes / kBytesPerBatchLine, 1);
  size_t taken = SplitLines(batch, whole, maxLines);
  // The lines left over, and a line the last read cut, wait for the next batch.
  source.carry.assign(batch.bytes.data() + taken, batch.bytes.data() + used);
  batch.endOfStream = source.finished && source.carry.empty();
  if (batch.endOfStream && source.readErrno != 0) {
    batch.readError = true;
    batch.readErrno = source.readErrno;
  }
}

// The memory a batch holds: its bytes and its line records.
static size_t BatchFootprint(const LineBatch& batch) {
  return batch.bytes.capacity() + batch.lines.capacity() * sizeof(BatchLine) +
         batch.wideMatches.capacity() * sizeof(LineMatch);
}

static void RecodeBatch(const LineCharsets& charsets, LineBatch& batch) {
  std::unique_ptr<LineRecoder, void (*)(LineRecoder*)> recoder(OpenLineRecoder(charsets),
                                                               CloseLineRecoder);
  for (BatchLine& line : batch.lines) {
    std::string_view text(batch.bytes.data() + line.offset, line.length);
    std::string_view utf8 = RecodeLine(*recoder, text);
    if (utf8.data() == text.data()) continue;
    line.offset = batch.bytes.size();
    line.length = utf8.size();
    batch.bytes.insert(batch.bytes.end(), utf8.begin(), utf8.end());
    batch.bytes.push_back('\0');
  }
}

void ClassifyBatch(const LineTypeTable& table, LineBatch& batch, const LineCharsets* charsets,
                   const LineRecording& recording) {
  if (charsets != nullptr) RecodeBatch(*charsets, batch);
  for (BatchLine& line : batch.lines) {
    const char* text = batch.bytes.data() + line.offset;
    LineMatch match = ClassifyLine(table, text);
    uint32_t wide = 0;
    if (line.length > kLongestCompactLine && match.type != kTypeNull) {
      batch.wideMatches.push_back(match);
      wide = static_cast<uint32_t>(batch.wideMatches.size());
    }
    line.record = RecordLine(table, recording, text, line.length, match, wide);
  }
}

namespace {

// How many copies of the format the budget pays for.
uint64_t AffordableCopies(const LineTypeTable& table) {
  uint64_t pieces = 0;
  for (const LineTypeEntry& entry : table.types) {
    if (entry.pattern.compiled) {
      pieces += EstimatePatternSize(entry.expanded, PatternSyntax::kExtended).pieces;
    }
  }
  if (table.misfit.pattern.compiled) {
    pieces += EstimatePatternSize(table.misfit.expanded, PatternSyntax::kExtended).pieces;
  }
  uint64_t copyBytes = std::max<uint64_t>(pieces, 1) * kCopyBytesPerPiece;
  return kCopiesBudgetBytes / copyBytes;
}

}  // namespace

int AffordableWorkers(const LineTypeTable& table, int requested) {
  // One worker matches with the table itself; the others need copies.
  return static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(std::max(requested, 1)),
                                              AffordableCopies(table) + 1));
}

int AffordablePoolWorkers(const LineTypeTable& table, int requested) {
  if (requested < 2) return 0;
  // The caller is one of the classifying threads, with the table itself;
  // every worker has a copy.
  return static_cast<int>(std::min<uint64_t>(static_cast<uint64_t>(requested - 1),
                                              AffordableCopies(table)));
}

struct ClassifierPool {
  const LineTypeTable* callerTable = nullptr;  // what the caller classifies with
  std::vector<std::unique_ptr<LineTypeTable>> tables;  // one copy per worker
  LineBatch callerBatch;
  const LineCharsets* charsets = nullptr;  // what the current file's lines are made UTF-8 from
  LineRecording recording;                 // how the current file's lines are recorded
  BatchSource source;
  size_t maxInFlight = 0;       // batches read and not yet given back
  size_t maxBytesInFlight = 0;  // their memory, before the next read

  std::mutex mutex;
  std::condition_variable changed;
  uint64_t nextToRead = 0;
  uint64_t nextToHand = 0;
  size_t bytesInFlight = 0;
  bool sourceDone = true;  // no file is being read
  bool stopping = false;
  bool outOfMemory = false;  // a worker could not get memory
  std::map<uint64_t, std::unique_ptr<LineBatch>> ready;
  std::vector<std::unique_ptr<LineBatch>> spare;
  std::unique_ptr<LineBatch> handedOut;
  std::mutex longLines;  // held while a batch with a long line is classified
  std::vector<std::thread> workers;
};

namespace {

constexpr size_t kBatchBytes = 256 * 1024;
// The most memory a batch of lines shorter than a batch holds: its bytes
// with a read's worth more, and a record for each of its lines.
constexpr size_t kBatchShare =
    kBatchBytes + kReadChunk + (kBatchBytes / kBytesPerBatchLine) * sizeof(BatchLine);

// A spare batch that once held far more than a batch's share gives its
// memory back instead of keeping it for the next batch.
void KeepAsSpare(ClassifierPool& c, std::unique_ptr<LineBatch> batch) {
  if (BatchFootprint(*batch) > 2 * kBatchShare) {
    batch = std::make_unique<LineBatch>();
  }
  c.spare.push_back(std::move(batch));
}

// Gives back the batch the caller took last. Called with the lock held.
void TakeBackHandedOut(ClassifierPool& c) {
  if (!c.handedOut) return;
  c.bytesInFlight -= std::min(c.bytesInFlight, BatchFootprint(*c.handedOut));
  KeepAsSpare(c, std::move(c.handedOut));
  ++c.nextToHand;
}

// Whether a file has lines left to read and there is room for another
// batch in flight. Called with the lock held.
bool RoomToRead(const ClassifierPool& c) {
  return !c.sourceDone && c.nextToRead - c.nextToHand < c.maxInFlight &&
         c.bytesInFlight < c.maxBytesInFlight;
}

// Takes a spare batch and reads the next lines into it; false when there is
// nothing more to read. Called with the lock held, so that batches follow
// the file's order.
bool ReadNextBatch(ClassifierPool& c, std::unique_ptr<LineBatch>& batch, uint64_t& sequence) {
  if (c.stopping || c.sourceDone || c.outOfMemory) return false;
  if (c.spare.empty()) {
    batch = std::make_unique<LineBatch>();
  } else {
    batch = std::move(c.spare.back());
    c.spare.pop_back();
  }
  sequence = c.nextToRead++;
  ReadBatch(c.source, kBatchBytes, *batch);
  c.bytesInFlight += BatchFootprint(*batch);
  if (batch->endOfStream || batch->readError) c.sourceDone = true;
  return true;
}

void ClassifyOwnBatch(ClassifierPool& c, const LineTypeTable& table, LineBatch& batch) {
  if (batch.longestLine <= kLongLineBytes) {
    ClassifyBatch(table, batch, c.charsets, c.recording);
    return;
  }
  std::lock_guard<std::mutex> one(c.longLines);
  ClassifyBatch(table, batch, c.charsets, c.recording);
}

// A worker's life: it waits for a file with lines left to read and room in
// flight, reads and classifies the next batch, and starts over, until the
// pool stops.
void ClassifyBatches(ClassifierPool& c, const LineTypeTable& table) {
  for (;;) {
    std::unique_ptr<LineBatch> batch;
    uint64_t sequence = 0;
    {
      std::unique_lock<std::mutex> lock(c.mutex);
      c.changed.wait(lock, [&c] { return c.stopping || c.outOfMemory || RoomToRead(c); });
      if (c.stopping || c.outOfMemory) return;
      if (!ReadNextBatch(c, batch, sequence)) continue;
    }
    ClassifyOwnBatch(c, table, *batch);
    {
      std::lock_guard<std::mutex> lock(c.mutex);
      c.ready.emplace(sequence, std::move(batch));
    }
    c.changed.notify_all();
  }
}

// A worker that runs out of memory stops and says so; the reader then
// ends the run with the same message as anywhere else.
void ClassifyWorker(ClassifierPool& c, const LineTypeTable& table) {
  try {
    ClassifyBatches(c, table);
  } catch (const std::bad_alloc&) {
    {
      std::lock_guard<std::mutex> lock(c.mutex);
      c.outOfMemory = true;
    }
    c.changed.notify_all();
  }
}

void StopClassifierPool(ClassifierPool* c) {
  {
    std::lock_guard<std::mutex> lock(c->mutex);
    c->stopping = true;
  }
  c->changed.notify_all();
  for (std::thread& worker : c->workers) worker.join();
  delete c;
}

}  // namespace

ClassifierPoolHandle StartClassifierPool(const LineTypeTable& table, int workers) {
  ClassifierPoolHandle c(new ClassifierPool, StopClassifierPool);
  c->callerTable = &table;
  // The caller classifies too, so it counts as one more thread.
  c->maxInFlight = static_cast<size_t>(std::max(workers, 1) + 1) * 4;
  c->maxBytesInFlight = c->maxInFlight * kBatchShare;
  // Each worker matches with a copy of its own, compiled once for the run:
  // the caller matches with the table itself, and the own matchers of a
  // table serve one thread only. A copy that cannot be compiled leaves its
  // worker out: the others do the work.
  for (int i = 0; i < workers; ++i) {
    auto copy = std::make_unique<LineTypeTable>();
    if (!CopyLineTypeTable(table, *copy)) continue;
    // The system may refuse a thread (a memory or process limit): the
    // workers started so far do the work, or the caller reads alone.
    try {
      c->workers.emplace_back(ClassifyWorker, std::ref(*c), std::cref(*copy));
    } catch (const std::system_error&) {
      break;
    }
    c->tables.push_back(std::move(copy));
  }
  return c;
}

bool PoolHasWorkers(const ClassifierPool& pool) { return !pool.workers.empty(); }

LineBatch& CallerBatch(ClassifierPool& pool) { return pool.callerBatch; }

void ClassifyCallerBatch(ClassifierPool& pool, const LineTypeTable& table, LineBatch& batch,
                         const LineCharsets* charsets, const LineRecording& recording) {
  if (batch.longestLine <= kLongLineBytes) {
    ClassifyBatch(table, batch, charsets, recording);
    return;
  }
  std::lock_guard<std::mutex> one(pool.longLines);
  ClassifyBatch(table, batch, charsets, recording);
}

void ClassifyNextFile(ClassifierPool& c, BatchSource&& source, const LineCharsets* charsets,
                      const LineRecording& recording) {
  {
    std::lock_guard<std::mutex> lock(c.mutex);
    TakeBackHandedOut(c);
    c.source = std::move(source);
    c.charsets = charsets;
    c.recording = recording;
    c.sourceDone = false;
  }
  c.changed.notify_all();
}

namespace {

// Reads and classifies the next batch on the caller's thread, for a caller
// that would otherwise wait for a worker. Called with the lock held, which
// is let go while the batch is classified. A caller out of memory ends the
// pool's work as a worker does, then passes the failure on.
void ClassifyForCaller(ClassifierPool& c, std::unique_lock<std::mutex>& lock) {
  std::unique_ptr<LineBatch> batch;
  uint64_t sequence = 0;
  if (!ReadNextBatch(c, batch, sequence)) return;
  lock.unlock();
  try {
    ClassifyOwnBatch(c, *c.callerTable, *batch);
  } catch (const std::bad_alloc&) {
    lock.lock();
    c.outOfMemory = true;
    c.changed.notify_all();
    throw;
  }
  lock.lock();
  c.ready.emplace(sequence, std::move(batch));
  c.changed.notify_all();
}

}  // namespace

LineBatch& NextClassifiedBatch(ClassifierPool& c) {
  std::unique_lock<std::mutex> lock(c.mutex);
  if (c.handedOut) {
    TakeBackHandedOut(c);
    c.changed.notify_all();
  }
  // While the next batch is not ready, the caller classifies one of the
  // batches after it rather than wait.
  for (;;) {
    if (c.outOfMemory) throw std::bad_alloc();
    auto found = c.ready.find(c.nextToHand);
    if (found != c.ready.end()) {
      c.handedOut = std::move(found->second);
      c.ready.erase(found);
      return *c.handedOut;
    }
    if (RoomToRead(c)) {
      ClassifyForCaller(c, lock);
    } else {
      c.changed.wait(lock);
    }
  }
}

void EndPoolFile(ClassifierPool& c) {
  std::unique_lock<std::mutex> lock(c.mutex);
  // Reads happen under the lock, so from here on none touches the stream.
  c.sourceDone = true;
  c.source = BatchSource();
  TakeBackHandedOut(c);
  // The batches still being classified are waited for and dropped, so that
  // none is taken for a batch of the next file. A worker out of memory has
  // lost its batch; the run ends then anyway.
  c.changed.wait(lock, [&c] {
    return c.outOfMemory || c.ready.size() == c.nextToRead - c.nextToHand;
  });
  for (auto& [sequence, batch] : c.ready) {
    c.bytesInFlight -= std::min(c.bytesInFlight, BatchFootprint(*batch));
    KeepAsSpare(c, std::move(batch));
  }
  c.ready.clear();
  c.nextToHand = c.nextToRead;
}
