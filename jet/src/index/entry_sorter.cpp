#include "index/entry_sorter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include <unistd.h>

#include "jet/error.h"

namespace jet {
namespace {

[[noreturn]] void Fail(const char* what) {
  throw Error(Error::Kind::kIo, std::string("temporary file of the index check: ") + what + ": " +
                                    std::strerror(errno));
}

void Write(std::FILE* f, const void* data, size_t n) {
  if (n != 0 && std::fwrite(data, 1, n, f) != n) Fail("write failed");
}

}  // namespace

// One run being read back through its own buffer: the file offset of the bytes not buffered
// yet, the end of the run, the entries left, and the entry at its head.
struct EntrySorter::Cursor {
  long offset = 0;
  long end = 0;
  size_t left = 0;
  std::vector<uint8_t> buffer;
  size_t at = 0;
  IndexEntry head;
};

namespace {

using Cursor = EntrySorter::Cursor;

constexpr size_t kChunk = 64 * 1024;

// `n` bytes of `c`'s run, refilling its buffer from the file as needed.
void Take(std::FILE* f, Cursor& c, void* out, size_t n) {
  auto* dst = static_cast<uint8_t*>(out);
  while (n > 0) {
    if (c.at == c.buffer.size()) {
      const size_t want =
          static_cast<size_t>(std::min<long>(static_cast<long>(kChunk), c.end - c.offset));
      if (want == 0) Fail("run ends early");
      c.buffer.resize(want);
      const ssize_t got = pread(fileno(f), c.buffer.data(), want, c.offset);
      if (got != static_cast<ssize_t>(want)) Fail("read failed");
      c.offset += static_cast<long>(want);
      c.at = 0;
    }
    const size_t k = std::min(n, c.buffer.size() - c.at);
    std::memcpy(dst, c.buffer.data() + c.at, k);
    c.at += k;
    dst += k;
    n -= k;
  }
}

// Reads the next entry of `c` into its head; false when the run is done.
bool Advance(std::FILE* f, Cursor& c) {
  if (c.left == 0) return false;
  uint32_t size = 0;
  Take(f, c, &size, sizeof size);
  c.head.key.resize(size);
  Take(f, c, c.head.key.data(), size);
  Take(f, c, &c.head.page, sizeof c.head.page);
  Take(f, c, &c.head.row, sizeof c.head.row);
  --c.left;
  return true;
}

}  // namespace

EntrySorter::EntrySorter(size_t run_entries) : run_entries_(std::max<size_t>(run_entries, 1)) {}

EntrySorter::~EntrySorter() {
  if (file_ != nullptr) std::fclose(file_);
}

void EntrySorter::Add(IndexEntry e) {
  e.child = 0;
  buffer_.push_back(std::move(e));
  ++count_;
  if (buffer_.size() >= run_entries_) Spill();
}

void EntrySorter::Spill() {
  if (buffer_.empty()) return;
  std::sort(buffer_.begin(), buffer_.end(), EntryLess);
  if (file_ == nullptr) {
    file_ = std::tmpfile();
    if (file_ == nullptr) Fail("cannot create it");
  }
  if (std::fseek(file_, 0, SEEK_END) != 0) Fail("seek failed");
  Run run{std::ftell(file_), buffer_.size()};
  for (const IndexEntry& e : buffer_) {
    const uint32_t size = static_cast<uint32_t>(e.key.size());
    Write(file_, &size, sizeof size);
    Write(file_, e.key.data(), e.key.size());
    Write(file_, &e.page, sizeof e.page);
    Write(file_, &e.row, sizeof e.row);
  }
  runs_.push_back(run);
  buffer_.clear();
  buffer_.shrink_to_fit();
}

void EntrySorter::Rewind() {
  if (runs_.empty()) {
    std::sort(buffer_.begin(), buffer_.end(), EntryLess);
    next_ = 0;
    return;
  }
  Spill();
  if (std::fflush(file_) != 0) Fail("write failed");
  cursors_.assign(runs_.size(), Cursor{});
  heap_.clear();
  const long end = std::ftell(file_);
  for (size_t i = 0; i < runs_.size(); ++i) {
    cursors_[i].offset = runs_[i].offset;
    cursors_[i].end = i + 1 < runs_.size() ? runs_[i + 1].offset : end;
    cursors_[i].left = runs_[i].entries;
    if (Advance(file_, cursors_[i])) heap_.push_back(i);
  }
  std::make_heap(heap_.begin(), heap_.end(), [&](size_t a, size_t b) {
    return EntryLess(cursors_[b].head, cursors_[a].head);
  });
}

bool EntrySorter::Next(IndexEntry* out) {
  if (runs_.empty()) {
    if (next_ >= buffer_.size()) return false;
    *out = buffer_[next_++];
    return true;
  }
  if (heap_.empty()) return false;
  auto later = [&](size_t a, size_t b) { return EntryLess(cursors_[b].head, cursors_[a].head); };
  std::pop_heap(heap_.begin(), heap_.end(), later);
  const size_t i = heap_.back();
  *out = cursors_[i].head;
  if (Advance(file_, cursors_[i])) {
    std::push_heap(heap_.begin(), heap_.end(), later);
  } else {
    heap_.pop_back();
  }
  return true;
}

void EntrySorter::ForEach(const std::function<bool(const IndexEntry&)>& fn) {
  Rewind();
  IndexEntry e;
  while (Next(&e)) {
    if (!fn(e)) return;
  }
}

}  // namespace jet
