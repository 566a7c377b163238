// Page I/O and header decoding. Page 0 layout (offsets in bytes):
//
//   0x00  u8    0x00 (header page type)
//   0x04  16    "Standard Jet DB\0" ("Standard ACE DB\0" for Access 2007 and later)
//   0x14  u32   version: 0 = Jet3, 1 = Jet4 (2+ = ACE, refused)
//   0x18  ...   126 (Jet3) / 128 (Jet4) bytes XORed with RC4(key C7 DA 39 6B); inside it:
//   0x3A  u16   Jet3 sort order LCID
//   0x3C  u16   code page
//   0x3E  u32   database key; non-zero = every other page is RC4-encrypted (refused)
//   0x42  20/40 password: Jet3 plain bytes; Jet4 UCS-2 XORed with the int32 of
//               floor(creation date), repeated
//   0x6E  u16   Jet4 sort order LCID; 0x71 u8 its version
//   0x72  f64   Jet4 creation date

#include "page/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>

namespace jet {
namespace {

constexpr std::array<uint8_t, 4> kHeaderKey = {0xC7, 0xDA, 0x39, 0x6B};
constexpr size_t kHeaderProbe = 0x18 + 128;  // enough of page 0 to decode either version
constexpr size_t kMaxCachedPages = 512;
// How long after a file's modification time a look must come before an unchanged time proves
// that nothing was written since (file times move in ticks of a few milliseconds).
constexpr int64_t kMtimeSettleNs = 200'000'000;

// RC4: XORs `data` with the keystream generated from `key`.
void Rc4Xor(std::span<const uint8_t> key, std::span<uint8_t> data) {
  std::array<uint8_t, 256> s;
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  uint8_t j = 0;
  for (int i = 0; i < 256; ++i) {
    j = static_cast<uint8_t>(j + s[i] + key[i % key.size()]);
    std::swap(s[i], s[j]);
  }
  uint8_t a = 0;
  uint8_t b = 0;
  for (uint8_t& byte : data) {
    a = static_cast<uint8_t>(a + 1);
    b = static_cast<uint8_t>(b + s[a]);
    std::swap(s[a], s[b]);
    byte ^= s[static_cast<uint8_t>(s[a] + s[b])];
  }
}

Error OpenError(const std::string& path, const std::string& what, Error::Kind kind) {
  return Error(kind, path + ": " + what);
}

}  // namespace

Error CorruptPage(std::string_view file, uint32_t page, std::string_view what) {
  std::string msg(file);
  msg += ": page " + std::to_string(page) + " is corrupt (";
  msg += what;
  msg += ")";
  return Error(Error::Kind::kCorrupt, msg);
}

void PageReader::OutOfBounds(size_t off, size_t len) const {
  Fail("read of " + std::to_string(len) + " bytes at offset " + std::to_string(off) +
       " outside a " + std::to_string(bytes_.size()) + "-byte area");
}

void File::ApplyHeaderMask(const FormatInfo& info, std::span<uint8_t> page0) {
  if (page0.size() < info.header_mask_offset + info.header_mask_size) return;
  Rc4Xor(kHeaderKey, page0.subspan(info.header_mask_offset, info.header_mask_size));
}

File::File(const std::string& path, bool writable) : path_(path), writable_(writable) {
  fd_ = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd_ < 0) {
    int err = errno;
    if (err == ENOENT) throw OpenError(path, "file not found", Error::Kind::kNotFound);
    throw OpenError(path, std::string("cannot open: ") + std::strerror(err), Error::Kind::kIo);
  }
  try {
    DecodeHeader();
  } catch (...) {
    ::close(fd_);
    throw;
  }
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

void File::RememberStat() {
  struct stat st;
  if (::fstat(fd_, &st) != 0) {
    throw OpenError(path_, std::string("cannot stat: ") + std::strerror(errno), Error::Kind::kIo);
  }
  stat_size_ = static_cast<uint64_t>(st.st_size);
  stat_mtime_ns_ = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  stat_taken_ns_ = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void File::DecodeHeader() {
  RememberStat();
  const Error not_access = OpenError(path_, "not an Access database", Error::Kind::kCorrupt);
  if (stat_size_ < kHeaderProbe) throw not_access;
  std::vector<uint8_t> head(kHeaderProbe);
  ReadAt(0, head);
  if (std::memcmp(&head[4], "Standard ACE DB", 16) == 0) {
    throw OpenError(path_, "is an Access 2007 or later (ACE) database, which is not supported",
                    Error::Kind::kNotSupported);
  }
  if (head[0] != 0 || std::memcmp(&head[4], "Standard Jet DB", 16) != 0) throw not_access;
  const uint8_t version = head[0x14];
  if (version != 0 && version != 1) {
    throw OpenError(path_, "has an unsupported format version " + std::to_string(version),
                    Error::Kind::kNotSupported);
  }
  info_ = &FormatFor(version == 0 ? Format::kJet3 : Format::kJet4);
  if (stat_size_ % info_->page_size != 0 || stat_size_ < 2ull * info_->page_size) {
    throw OpenError(path_,
                    "is truncated: its size (" + std::to_string(stat_size_) +
                        " bytes) is not a whole number of " + std::to_string(info_->page_size) +
                        "-byte pages of at least 2 pages",
                    Error::Kind::kCorrupt);
  }
  if (stat_size_ / info_->page_size > UINT32_MAX / 2) {
    throw OpenError(path_, "is too large for an Access database", Error::Kind::kCorrupt);
  }
  page_count_ = static_cast<uint32_t>(stat_size_ / info_->page_size);

  std::vector<uint8_t> page0 = DecodedHeaderPage();
  PageReader r(page0, path_, 0);
  header_.format = info_->format;
  header_.code_page = r.U16(info_->header_code_page);
  header_.sort_order = r.U16(info_->header_sort_order);
  if (info_->header_sort_version != 0) header_.sort_version = r.U8(info_->header_sort_version);
  if (info_->header_creation_date != 0) {
    uint64_t bits = r.U64(info_->header_creation_date);
    std::memcpy(&header_.creation_date, &bits, sizeof bits);
  }
  if (r.U32(info_->header_db_key) != 0) {
    throw OpenError(path_, "is encrypted, which is not supported", Error::Kind::kNotSupported);
  }
  CheckPassword(page0);
}

void File::CheckPassword(const std::vector<uint8_t>& page0) const {
  PageReader r(page0, path_, 0);
  auto pw = r.Bytes(info_->header_password, info_->header_password_size);
  std::array<uint8_t, 4> pattern{};
  if (info_->header_creation_date != 0) {
    // Jet4 masks the UCS-2 password with the whole days of the creation date.
    double days = std::floor(header_.creation_date);
    int32_t key = 0;
    if (std::isfinite(days) && days > INT32_MIN && days < INT32_MAX)
      key = static_cast<int32_t>(days);
    for (int i = 0; i < 4; ++i)
      pattern[i] = static_cast<uint8_t>(static_cast<uint32_t>(key) >> (8 * i));
  }
  bool empty = true;
  for (size_t i = 0; i < pw.size(); ++i) {
    if ((pw[i] ^ pattern[i % 4]) != 0) empty = false;
  }
  if (!empty) {
    throw OpenError(path_, "is protected by a database password, which is not supported",
                    Error::Kind::kNotSupported);
  }
}

std::vector<uint8_t> File::DecodedHeaderPage() const {
  Page p = ReadPage(0);
  std::vector<uint8_t> page0(p.bytes().begin(), p.bytes().end());
  ApplyHeaderMask(*info_, page0);
  return page0;
}

void File::ReadAt(uint64_t offset, std::span<uint8_t> out) const {
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n =
        ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      throw OpenError(path_, std::string("read failed: ") + std::strerror(errno), Error::Kind::kIo);
    }
    if (n == 0) {
      throw OpenError(path_, "is shorter than expected (it changed while open?)",
                      Error::Kind::kCorrupt);
    }
    done += static_cast<size_t>(n);
  }
}

Page File::ReadPage(uint32_t n) const {
  if (n >= page_count_) {
    throw CorruptPage(
        path_, n,
        "beyond the end of the file, which has " + std::to_string(page_count_) + " pages");
  }
  auto it = cache_.find(n);
  if (it != cache_.end()) return Page(n, it->second, path_);
  auto data = std::make_shared<std::vector<uint8_t>>(info_->page_size);
  ReadAt(static_cast<uint64_t>(n) * info_->page_size, *data);
  std::shared_ptr<const std::vector<uint8_t>> snapshot = std::move(data);
  CacheInsert(n, snapshot);
  return Page(n, std::move(snapshot), path_);
}

void File::CacheInsert(uint32_t n, std::shared_ptr<const std::vector<uint8_t>> data) const {
  if (cache_.size() >= kMaxCachedPages) cache_.clear();
  cache_[n] = std::move(data);
}

void File::WritePage(uint32_t n, std::span<const uint8_t> bytes) {
  WriteOne(n, bytes);
  RememberStat();
}

void File::WritePages(const std::vector<std::pair<uint32_t, std::span<const uint8_t>>>& pages) {
  for (const auto& [n, bytes] : pages) WriteOne(n, bytes);
  if (!pages.empty()) RememberStat();
}

void File::WriteOne(uint32_t n, std::span<const uint8_t> bytes) {
  if (!writable_) {
    throw Error(Error::Kind::kInvalidArgument, path_ + ": the database is open read-only");
  }
  if (poisoned_) {
    throw Error(Error::Kind::kIo, path_ + ": an earlier write failed; reopen the database");
  }
  if (bytes.size() != info_->page_size || n > page_count_) {
    throw Error(Error::Kind::kInvalidArgument,
                path_ + ": bad page write (page " + std::to_string(n) + ")");
  }
  size_t done = 0;
  const uint64_t offset = static_cast<uint64_t>(n) * info_->page_size;
  while (done < bytes.size()) {
    ssize_t w =
        ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      poisoned_ = true;
      cache_.erase(n);
      throw Error(Error::Kind::kIo, path_ + ": write of page " + std::to_string(n) +
                                        " failed: " + std::strerror(errno));
    }
    done += static_cast<size_t>(w);
  }
  if (n == page_count_) ++page_count_;
  CacheInsert(n, std::make_shared<const std::vector<uint8_t>>(bytes.begin(), bytes.end()));
}

bool File::Revalidate() {
  const uint64_t old_size = stat_size_;
  const int64_t old_mtime = stat_mtime_ns_;
  const bool settled = sole_writer_ || stat_taken_ns_ - old_mtime > kMtimeSettleNs;
  RememberStat();
  if (settled && stat_size_ == old_size && stat_mtime_ns_ == old_mtime) return false;
  cache_.clear();
  page_count_ =
      static_cast<uint32_t>(std::min<uint64_t>(stat_size_ / info_->page_size, UINT32_MAX / 2));
  return true;
}

}  // namespace jet
