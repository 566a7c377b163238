#pragma once

// Page I/O on one .mdb file and the decoding of its header page.
//
// A file is an array of pages of 2048 (Jet3) or 4096 (Jet4) bytes; page N lives at offset
// N * page_size. Page 0 is the header: the engine name "Standard Jet DB" at 0x04, the version at
// 0x14 and, from 0x18, a block XORed with an RC4 keystream (key C7 DA 39 6B) that holds the
// code page, sort order, database key and password.
//
// Reads go through a small cache of immutable page snapshots. Writes go straight to the disk
// and replace the cached copy, so nothing is ever cached dirty. Because another File object on
// the same path (a second reader in this process, or another process) may write, the owner calls
// Revalidate() at the start of each operation: when the file changed on disk since the last
// look, the cache is dropped and the caller learns it must drop what it derived from pages.
// File times advance in coarse ticks, so a write in the same tick as our last look would leave
// size and time unchanged: an unchanged time counts only when that look came well after it.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

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
  // unknown versions, kCorrupt for a file that is not an Access database or is truncated.
  File(const std::string& path, bool writable);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  const std::string& path() const { return path_; }
  const FormatInfo& info() const { return *info_; }
  Format format() const { return info_->format; }
  uint32_t page_size() const { return info_->page_size; }
  uint32_t page_count() const { return page_count_; }
  bool writable() const { return writable_; }
  const HeaderInfo& header() const { return header_; }

  // Page `n` as it is on disk (page 0 still masked). Throws kCorrupt naming `n` when it lies
  // beyond the end of the file, kIo when the read fails.
  Page ReadPage(uint32_t n) const;
  // Page 0 with the RC4 mask removed.
  std::vector<uint8_t> DecodedHeaderPage() const;

  // Writes a whole page through to disk (`n` == page_count() appends one page) and refreshes the
  // cache. Throws kInvalidArgument for a read-only file, a wrong size or a page past the end, kIo
  // when the write fails; after a failed write every further write is refused.
  void WritePage(uint32_t n, std::span<const uint8_t> bytes);
  // Writes `pages` (number, bytes) in order as WritePage does, looking at the file's size and
  // time once, after the last one. A failed write stops there and throws as WritePage does.
  void WritePages(const std::vector<std::pair<uint32_t, std::span<const uint8_t>>>& pages);

  // Checks whether the file changed on disk since the last call (or since our own last write).
  // If so, drops the page cache, re-reads the page count and returns true.
  bool Revalidate();
  // Declares that nobody else writes the file while this object is open (its owner holds the
  // write lock). Revalidate() then trusts an unchanged size and time even within one tick of
  // the last look, since the only writes in that tick were this object's own.
  void set_sole_writer() { sole_writer_ = true; }

  // XORs the masked block of a page-0 image with the header keystream (masks and unmasks).
  static void ApplyHeaderMask(const FormatInfo& info, std::span<uint8_t> page0);

 private:
  void DecodeHeader();
  void CheckPassword(const std::vector<uint8_t>& page0) const;
  void ReadAt(uint64_t offset, std::span<uint8_t> out) const;
  void RememberStat();
  void WriteOne(uint32_t n, std::span<const uint8_t> bytes);
  void CacheInsert(uint32_t n, std::shared_ptr<const std::vector<uint8_t>> data) const;

  std::string path_;                  // as given to the constructor
  int fd_ = -1;                       // open descriptor
  bool writable_ = false;             // opened for writing
  bool poisoned_ = false;             // a write failed half way; no further writes
  bool sole_writer_ = false;          // no other writer while open (see set_sole_writer)
  const FormatInfo* info_ = nullptr;  // descriptor of the file's format
  HeaderInfo header_;                 // decoded page 0
  uint32_t page_count_ = 0;           // pages in the file
  uint64_t stat_size_ = 0;            // size seen at the last Revalidate or write
  int64_t stat_mtime_ns_ = 0;         // modification time seen then
  int64_t stat_taken_ns_ = 0;         // wall-clock time of that look
  mutable std::unordered_map<uint32_t, std::shared_ptr<const std::vector<uint8_t>>> cache_;
};

}  // namespace jet
