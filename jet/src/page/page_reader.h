#pragma once

// Bounds-checked little-endian reads over one page or any byte span taken from the file.
//
// Every number the engine takes from disk goes through a PageReader: an access outside the span
// throws jet::Error(kCorrupt) whose message names the file and the page, so a malformed file can
// never make the engine read outside a buffer. A reader is a view: the bytes must outlive it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "jet/error.h"

namespace jet {

// The error for a malformed page: "<file>: page <n> is corrupt (<what>)".
Error CorruptPage(std::string_view file, uint32_t page, std::string_view what);

class PageReader {
 public:
  PageReader(std::span<const uint8_t> bytes, std::string_view file, uint32_t page)
      : bytes_(bytes), file_(file), page_(page) {}

  size_t size() const { return bytes_.size(); }
  uint32_t page() const { return page_; }
  std::string_view file() const { return file_; }
  std::span<const uint8_t> bytes() const { return bytes_; }

  uint8_t U8(size_t off) const {
    Check(off, 1);
    return bytes_[off];
  }
  uint16_t U16(size_t off) const {
    Check(off, 2);
    return static_cast<uint16_t>(bytes_[off] | (bytes_[off + 1] << 8));
  }
  uint32_t U24(size_t off) const {
    Check(off, 3);
    return static_cast<uint32_t>(bytes_[off]) | (static_cast<uint32_t>(bytes_[off + 1]) << 8) |
           (static_cast<uint32_t>(bytes_[off + 2]) << 16);
  }
  uint32_t U32(size_t off) const {
    Check(off, 4);
    return static_cast<uint32_t>(bytes_[off]) | (static_cast<uint32_t>(bytes_[off + 1]) << 8) |
           (static_cast<uint32_t>(bytes_[off + 2]) << 16) |
           (static_cast<uint32_t>(bytes_[off + 3]) << 24);
  }
  uint64_t U64(size_t off) const {
    Check(off, 8);
    return static_cast<uint64_t>(U32(off)) | (static_cast<uint64_t>(U32(off + 4)) << 32);
  }
  // `len` bytes at `off`.
  std::span<const uint8_t> Bytes(size_t off, size_t len) const {
    Check(off, len);
    return bytes_.subspan(off, len);
  }
  // A reader over `len` bytes at `off`, reporting the same file and page.
  PageReader Sub(size_t off, size_t len) const { return PageReader(Bytes(off, len), file_, page_); }

  // Throws the kCorrupt error for this page.
  [[noreturn]] void Fail(std::string_view what) const { throw CorruptPage(file_, page_, what); }

 private:
  void Check(size_t off, size_t len) const {
    if (off > bytes_.size() || len > bytes_.size() - off) OutOfBounds(off, len);
  }
  [[noreturn]] void OutOfBounds(size_t off, size_t len) const;

  std::span<const uint8_t> bytes_;  // the bytes read; not owned
  std::string_view file_;           // path of the file, for messages; not owned
  uint32_t page_;                   // page the bytes come from, for messages
};

}  // namespace jet
