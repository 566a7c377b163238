#pragma once

// Page I/O on one .mdb file and the decoding of its header page.
//
// A file is an array of pages of 2048 (Jet3) or 4096 (Jet4) bytes; page N lives at offset
// N * page_size. Page 0 is the header: the engine name "Standard Jet DB" at 0x04, the version at
// 0x14 and, from 0x18, a block XORed with an RC4 keystream (key C7 DA 39 6B) that holds the
// code page, sort order, database key and password.
//
// Reads go through a small cache of immutable page snapshots; nothing is ever cached dirty.
// Writes are commits: the original pages go to the journal (page/journal.h), then the new ones
// to the file, under the locks of page/lock.h, so that neither a stopped program nor a reader in
// another process ever meets half a commit. A batch holds a transaction's pages in memory
// until it commits them at once.
//
// Because another process may write, a reader calls Revalidate() at the start of each operation
// (inside BeginRead): when the file changed on disk since the last look, the cache is dropped
// and the caller learns it must drop what it derived from pages. File times advance in coarse
// ticks, so a write in the same tick as our last look would leave size and time unchanged: an
// unchanged time counts only when that look came well after it.

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "jet/sync_mode.h"
#include "page/file_system.h"
#include "page/format.h"
#include "page/page_reader.h"

namespace jet {

// An immutable snapshot of one page. Cheap to copy; the bytes live as long as any copy.
class Page {
 public:
  Page() : number_(0), reader_({}, {}, 0) {}
  Page(uint32_t number, std::shared_ptr<const std::vector<uint8_t>> data, std::string_view file)
      : number_(number), data_(std::move(data)), reader_(*data_, file, number) {}

  uint32_t number() const { return number_; }
  std::span<const uint8_t> bytes() const { return *data_; }
  // The bytes themselves, shared.
  const std::shared_ptr<const std::vector<uint8_t>>& shared() const { return data_; }
  const PageReader& reader() const { return reader_; }
  uint8_t type() const { return (*data_)[0]; }

 private:
  uint32_t number_;                                   // page number in the file
  std::shared_ptr<const std::vector<uint8_t>> data_;  // page_size bytes, shared with the cache
  PageReader reader_;                                 // bounds-checked view over data_
};

// What page 0 says about the database.
struct HeaderInfo {
  Format format = Format::kJet4;
  uint16_t code_page = 0;    // e.g. 1252
  uint16_t sort_order = 0;   // text sort order LCID, e.g. 0x0409
  uint8_t sort_version = 0;  // Jet4 sort-order version (0 = General legacy)
  double creation_date = 0;  // Jet4 creation timestamp (Jet date double); 0 for Jet3
};

class File {
 public:
  // Opens `path` and decodes its header. Throws kNotFound when the file does not exist, kIo when
  // it cannot be opened, kNotSupported for ACE, encrypted or password-protected databases and
  // unknown versions, kCorrupt for a file that is not an Access database or is truncated, kLocked
  // when another handle writes it (for `writable`) or a commit does not finish in time.
  //
  // A file asked for writing opens read-only, with read_only_reason() saying why, when its journal
  // cannot be created or another program holds its lock file. A journal left by a writer that
  // stopped in the middle of a commit is rolled back before anything is read. I/O goes through
  // `fs` (the operating system's files when null).
  File(const std::string& path, bool writable, FileSystem* fs = nullptr,
       SyncMode sync = SyncMode::kFull);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  const std::string& path() const { return path_; }
  const FormatInfo& info() const { return *info_; }
  Format format() const { return info_->format; }
  uint32_t page_size() const { return info_->page_size; }
  // Pages in the file, counting those an open batch appends.
  uint32_t page_count() const { return page_count_; }
  bool writable() const { return writable_; }
  // Why a file asked for writing was opened read-only; empty otherwise.
  const std::string& read_only_reason() const { return read_only_reason_; }
  const HeaderInfo& header() const { return header_; }
  SyncMode sync_mode() const { return sync_; }
  void set_sync_mode(SyncMode sync) { sync_ = sync; }

  // Page `n` as it is on disk, or as the open batch left it (page 0 still masked). Throws
  // kCorrupt naming `n` when it lies beyond the end of the file, kIo when the read fails.
  Page ReadPage(uint32_t n) const;
  // Page 0 with the RC4 mask removed.
  std::vector<uint8_t> DecodedHeaderPage() const;

  // Writes whole pages (number, bytes; a number == page_count() appends one) as one commit
  // through the journal, or adds them to the open batch. Throws kInvalidArgument for a read-only
  // file, a wrong size or a page past the end; kIo when a write fails, after the commit was
  // rolled back (the file is as it was); kLocked when readers do not leave in time.
  void WritePages(const std::vector<std::pair<uint32_t, std::span<const uint8_t>>>& pages);
  void WritePage(uint32_t n, std::span<const uint8_t> bytes) { WritePages({{n, bytes}}); }
  // The same for pages whose bytes the caller hands over (they must not change afterwards): the
  // batch and the page cache keep them without a copy.
  using SharedPages = std::vector<std::pair<uint32_t, std::shared_ptr<const std::vector<uint8_t>>>>;
  void WritePages(SharedPages pages);

  // A batch keeps every write in memory (reads see it) until CommitBatch() writes it all as one
  // commit, or RollbackBatch() drops it. A failed CommitBatch() drops the batch as well.
  void BeginBatch();
  void CommitBatch();
  void RollbackBatch();
  bool in_batch() const { return in_batch_; }
  // Pages held by the open batch.
  size_t batch_size() const { return batch_.size(); }

  // Page buffers that nothing refers to any more, kept for the next page a write copies: a row
  // write copies a few pages, and reusing their buffers spares the heap two calls a page.
  // TakeSpareBuffer() returns a page-sized buffer of stale bytes, or null when none is kept;
  // KeepSpareBuffer() keeps `buffer` only when the caller held its last reference.
  std::shared_ptr<std::vector<uint8_t>> TakeSpareBuffer();
  void KeepSpareBuffer(std::shared_ptr<const std::vector<uint8_t>> buffer);

  // Brackets one read operation. A handle that does not write takes the shared lock (waiting
  // while a commit is in progress, and rolling back a hot journal it finds); nested calls only
  // count. A writing handle needs no lock: nobody else changes the file.
  void BeginRead();
  void EndRead();

  // Checks whether the file changed on disk since the last call (or since our own last write).
  // If so, drops the page cache, re-reads the page count and returns true.
  bool Revalidate();

  // XORs the masked block of a page-0 image with the header keystream (masks and unmasks).
  static void ApplyHeaderMask(const FormatInfo& info, std::span<uint8_t> page0);

 private:
  using PageList = std::vector<std::pair<uint32_t, std::span<const uint8_t>>>;

  void OpenForWriting();
  void DropWriting(const std::string& reason);
  void TakeSharedLock();
  bool JournalIsHot();
  void RecoverHotJournal();
  void DecodeHeader();
  void CheckPassword(const std::vector<uint8_t>& page0) const;
  void ReadAt(uint64_t offset, std::span<uint8_t> out) const;
  void RememberStat();
  void CheckWrite(uint32_t n, size_t size, uint32_t count) const;
  void Commit(const PageList& pages);
  std::shared_ptr<const std::vector<uint8_t>> DiskPage(uint32_t n) const;
  void Restore(const PageList& originals, uint64_t length, const Error& cause);
  void CacheInsert(uint32_t n, std::shared_ptr<const std::vector<uint8_t>> data) const;

  std::string path_;                     // as given to the constructor
  FileSystem* fs_ = nullptr;             // where the bytes live
  std::unique_ptr<FileHandle> handle_;   // the database file
  std::unique_ptr<FileHandle> journal_;  // the journal, while open for writing
  bool writable_ = false;                // opened for writing
  std::string read_only_reason_;         // why a file asked for writing is read-only
  SyncMode sync_ = SyncMode::kFull;      // syncs per commit
  bool poisoned_ = false;                // a commit could not be rolled back; no further writes
  int read_depth_ = 0;                   // nesting of BeginRead
  uint32_t nonce_ = 0;                   // of the last journal written
  const FormatInfo* info_ = nullptr;     // descriptor of the file's format
  HeaderInfo header_;                    // decoded page 0
  uint32_t page_count_ = 0;              // pages in the file (and the open batch)
  uint32_t disk_page_count_ = 0;         // pages on disk
  uint64_t stat_size_ = 0;               // size seen at the last Revalidate or write
  int64_t stat_mtime_ns_ = 0;            // modification time seen then
  int64_t stat_taken_ns_ = 0;            // wall-clock time of that look
  bool in_batch_ = false;                // a batch is open
  std::unordered_map<uint32_t, std::shared_ptr<const std::vector<uint8_t>>> batch_;  // its pages
  mutable std::unordered_map<uint32_t, std::shared_ptr<const std::vector<uint8_t>>> cache_;
  std::vector<std::shared_ptr<std::vector<uint8_t>>> spares_;  // see TakeSpareBuffer
};

}  // namespace jet
