#pragma once

// The pages one write operation changes, held in memory until the operation has passed every
// check. A write builds its new pages here (reading through to the file for pages it has not
// touched); only Commit() writes them, each page whole and in ascending order. Throwing before
// Commit() leaves the file byte-for-byte unchanged, which is how every rejected write keeps the
// promise, however late its failing check comes; Commit() itself is atomic (File::WritePages).
//
// Page allocation also lives here, because it edits the global usage map (page 1, row 0; a set
// bit = a free page): Allocate() reuses a page that the map marks free and that holds nothing
// (type byte 0x00, or 0x08/0x09 left over from a dropped object), else appends one at the end
// of the file, and clears its bit when the map covers it. Free() blanks the page and sets its bit.

#include <cstdint>
#include <map>
#include <memory>
#include <memory_resource>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "page/file.h"

namespace jet {

class PageTxn {
 public:
  // `file` must be writable and outlive the transaction.
  explicit PageTxn(File& file);
  PageTxn(const PageTxn&) = delete;
  PageTxn& operator=(const PageTxn&) = delete;

  File& file() { return file_; }
  const FormatInfo& info() const { return file_.info(); }
  uint32_t page_size() const { return file_.page_size(); }
  // Pages in the file once this transaction is committed.
  uint32_t page_count() const { return next_new_page_; }

  // The current bytes of page `n`: this transaction's copy once it has edited the page, else the
  // file's own snapshot (not copied). Throws kCorrupt for a page past the end. The span stays
  // valid until Commit() (the buffer of a page it replaces may then be reused), and shows the
  // page as it was when read: an Edit() of the page afterwards works on a copy, which later
  // Reads return.
  std::span<const uint8_t> Read(uint32_t n);
  // A writable copy of page `n`, written at Commit().
  std::span<uint8_t> Edit(uint32_t n);
  bool IsDirty(uint32_t n) const { return edits_.count(n) != 0; }

  // A page for a new structure: zero-filled, marked used in the global map, dirty.
  uint32_t Allocate();
  // Gives page `n` back: zero-filled and marked free in the global map. The caller has already
  // removed it from its owner's usage map.
  void Free(uint32_t n);

  // Writes every changed page as one commit of the file (through its journal: all or nothing,
  // the file unchanged when it throws), or adds them to the file's open batch.
  void Commit();
  // Number of pages Commit() would write.
  size_t dirty_count() const { return edits_.size(); }

 private:
  using Bytes = std::shared_ptr<const std::vector<uint8_t>>;
  // Page `n` as read (this transaction's edit, else the file's snapshot).
  const Bytes& Snapshot(uint32_t n);
  std::optional<uint32_t> FindReusablePage();

  File& file_;
  // The maps' nodes come from the transaction's own arena: a row write touches a handful of
  // pages, and their nodes then cost no call to the heap (larger operations take more blocks).
  std::byte arena_bytes_[2048];
  std::pmr::monotonic_buffer_resource arena_{arena_bytes_, sizeof arena_bytes_};
  std::pmr::map<uint32_t, Bytes> read_{&arena_};  // pages read, unchanged
  std::pmr::map<uint32_t, std::shared_ptr<std::vector<uint8_t>>> edits_{&arena_};  // to write
  std::pmr::set<uint32_t> taken_{&arena_};  // reused or new in this transaction
  uint32_t next_new_page_;    // number the next appended page gets
};

}  // namespace jet
