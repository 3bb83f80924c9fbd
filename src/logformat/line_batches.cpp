#include "logformat/line_batches.h"

#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace {

constexpr size_t kReadChunk = 256 * 1024;

// Splits the bytes of a batch into lines and cleans each one: a zero byte
// ends a line's text, and ANSI sequences are removed.
void SplitLines(LineBatch& batch, size_t used) {
  char* data = batch.bytes.data();
  size_t start = 0;
  while (start < used) {
    char* newline = static_cast<char*>(memchr(data + start, '\n', used - start));
    size_t end = newline ? static_cast<size_t>(newline - data) : used;
    data[end] = '\0';  // the buffer keeps a spare byte for a last line without newline
    BatchLine line;
    line.offset = start;
    size_t length = strnlen(data + start, end - start);
    line.countedBytes = length < end - start ? length : end - start + (newline ? 1 : 0);
    line.length = StripAnsiCodes(data + start, length);
    batch.lines.push_back(line);
    start = end + 1;
  }
}

}  // namespace

void ReadBatch(BatchSource& source, size_t targetBytes, LineBatch& batch) {
  batch.lines.clear();
  batch.readError = false;
  batch.endOfStream = false;
  batch.bytes.swap(source.carry);
  size_t used = batch.bytes.size();
  source.carry.clear();
  bool haveNewline = used > 0 && memchr(batch.bytes.data(), '\n', used) != nullptr;
  while (!source.finished && (used < targetBytes || !haveNewline)) {
    batch.bytes.resize(used + kReadChunk + 1);
    size_t got = fread(batch.bytes.data() + used, 1, kReadChunk, source.in);
    if (got == 0) {
      source.finished = true;
      batch.readError = ferror(source.in) != 0;
      break;
    }
    if (!haveNewline) haveNewline = memchr(batch.bytes.data() + used, '\n', got) != nullptr;
    used += got;
  }
  if (!source.finished) {
    // Keep the cut line for the next batch.
    const char* data = batch.bytes.data();
    size_t lastNewline = used;
    while (lastNewline > 0 && data[lastNewline - 1] != '\n') --lastNewline;
    source.carry.assign(data + lastNewline, data + used);
    used = lastNewline;
  }
  batch.bytes.resize(used + 1);
  SplitLines(batch, used);
  batch.endOfStream = source.finished && source.carry.empty();
}

void ClassifyBatch(const LineTypeTable& table, LineBatch& batch) {
  for (BatchLine& line : batch.lines) {
    line.match = ClassifyLine(table, batch.bytes.data() + line.offset);
  }
}

struct ParallelClassifier {
  std::vector<std::unique_ptr<LineTypeTable>> tables;  // one per worker
  BatchSource source;
  size_t maxInFlight = 0;

  std::mutex mutex;
  std::condition_variable changed;
  uint64_t nextToRead = 0;
  uint64_t nextToHand = 0;
  bool sourceDone = false;
  bool stopping = false;
  std::map<uint64_t, std::unique_ptr<LineBatch>> ready;
  std::vector<std::unique_ptr<LineBatch>> spare;
  std::unique_ptr<LineBatch> handedOut;
  std::vector<std::thread> workers;
};

namespace {

constexpr size_t kBatchBytes = 1024 * 1024;

void ClassifyWorker(ParallelClassifier& c, const LineTypeTable& table) {
  for (;;) {
    std::unique_ptr<LineBatch> batch;
    uint64_t sequence;
    {
      std::unique_lock<std::mutex> lock(c.mutex);
      c.changed.wait(lock, [&c] {
        return c.stopping || c.sourceDone || c.nextToRead - c.nextToHand < c.maxInFlight;
      });
      if (c.stopping || c.sourceDone) return;
      if (c.spare.empty()) {
        batch = std::make_unique<LineBatch>();
      } else {
        batch = std::move(c.spare.back());
        c.spare.pop_back();
      }
      // Reading stays under the lock so that batches follow the file's order.
      sequence = c.nextToRead++;
      ReadBatch(c.source, kBatchBytes, *batch);
      if (batch->endOfStream || batch->readError) c.sourceDone = true;
    }
    ClassifyBatch(table, *batch);
    {
      std::lock_guard<std::mutex> lock(c.mutex);
      c.ready.emplace(sequence, std::move(batch));
    }
    c.changed.notify_all();
  }
}

void StopParallelClassifier(ParallelClassifier* c) {
  {
    std::lock_guard<std::mutex> lock(c->mutex);
    c->stopping = true;
  }
  c->changed.notify_all();
  for (std::thread& worker : c->workers) worker.join();
  delete c;
}

}  // namespace

std::unique_ptr<ParallelClassifier, void (*)(ParallelClassifier*)> StartParallelClassifier(
    FILE* in, const LineTypeTable& table, int workers) {
  std::unique_ptr<ParallelClassifier, void (*)(ParallelClassifier*)> c(new ParallelClassifier,
                                                                      StopParallelClassifier);
  c->source.in = in;
  c->maxInFlight = static_cast<size_t>(workers) * 2;
  bool sharedInUse = false;
  for (int i = 0; i < workers; ++i) {
    auto copy = std::make_unique<LineTypeTable>();
    // A copy that cannot be compiled leaves the worker on the shared table,
    // which gives the same matches, only more slowly. The own matchers of a
    // table serve one thread only, so no more than one worker takes it.
    bool copied = CopyLineTypeTable(table, *copy);
    if (!copied && sharedInUse) continue;
    sharedInUse = sharedInUse || !copied;
    const LineTypeTable& own = copied ? *copy : table;
    c->tables.push_back(std::move(copy));
    c->workers.emplace_back(ClassifyWorker, std::ref(*c), std::cref(own));
  }
  return c;
}

LineBatch& NextClassifiedBatch(ParallelClassifier& c) {
  std::unique_lock<std::mutex> lock(c.mutex);
  if (c.handedOut) {
    c.spare.push_back(std::move(c.handedOut));
    ++c.nextToHand;
    c.changed.notify_all();
  }
  c.changed.wait(lock, [&c] { return c.ready.count(c.nextToHand) != 0; });
  auto found = c.ready.find(c.nextToHand);
  c.handedOut = std::move(found->second);
  c.ready.erase(found);
  return *c.handedOut;
}
