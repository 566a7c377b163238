#pragma once
// Sorting index entries in bounded memory: entries are gathered into runs of at most
// `run_entries`, each run sorted (EntryLess) and, once a second one is needed, written to a
// temporary file; reading merges the runs. The checker uses it to compare an index of millions
// of rows with the keys recomputed from them without holding all the keys at once.

#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "index/index_page.h"

namespace jet {

class EntrySorter {
 public:
  explicit EntrySorter(size_t run_entries);
  ~EntrySorter();
  EntrySorter(const EntrySorter&) = delete;
  EntrySorter& operator=(const EntrySorter&) = delete;

  // Adds one entry (before the first ForEach).
  void Add(IndexEntry e);
  size_t size() const { return count_; }
  // Runs written to the temporary file so far.
  size_t spilled_runs() const { return runs_.size(); }

  // Calls `fn` for every entry added, in EntryLess order, until it returns false. Throws kIo when
  // the temporary file cannot be written or read.
  void ForEach(const std::function<bool(const IndexEntry&)>& fn);

  // The same order pulled one entry at a time: Rewind, then Next until it returns false. No Add
  // after the first Rewind.
  void Rewind();
  bool Next(IndexEntry* out);

  struct Cursor;

 private:
  struct Run {
    long offset = 0;
    size_t entries = 0;
  };
  void Spill();

  size_t run_entries_;
  size_t count_ = 0;
  std::vector<IndexEntry> buffer_;
  std::FILE* file_ = nullptr;
  std::vector<Run> runs_;
  std::vector<Cursor> cursors_;
  std::vector<size_t> heap_;  // cursors with a head, smallest head first (std heap order)
  size_t next_ = 0;           // next buffered entry when nothing was spilled
};

}  // namespace jet
