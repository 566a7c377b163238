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

#include <time.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <random>
#include <thread>

#include "page/journal.h"
#include "page/lock.h"

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

File::File(const std::string& path, bool writable, FileSystem* fs, SyncMode sync)
    : path_(path), fs_(fs != nullptr ? fs : &DefaultFileSystem()), sync_(sync) {
  if (writable) {
    OpenForWriting();
  } else {
    int err = 0;
    handle_ = fs_->Open(path, FileSystem::Mode::kRead, err);
    if (!handle_) {
      if (err == ENOENT) throw OpenError(path, "file not found", Error::Kind::kNotFound);
      throw OpenError(path, std::string("cannot open: ") + std::strerror(err), Error::Kind::kIo);
    }
  }
  BeginRead();
  try {
    DecodeHeader();
  } catch (...) {
    EndRead();
    throw;
  }
  EndRead();
  disk_page_count_ = page_count_;
  std::random_device rd;
  nonce_ = rd();
}

File::~File() {
  if (journal_ && !poisoned_) {
    // Only an empty or cleared journal is removed; one that still restores a failed commit
    // stays for the next open.
    journal_.reset();
    fs_->Remove(JournalPath(path_));
  }
}

void File::OpenForWriting() {
  int err = 0;
  handle_ = fs_->Open(path_, FileSystem::Mode::kReadWrite, err);
  if (!handle_) {
    if (err == ENOENT) throw OpenError(path_, "file not found", Error::Kind::kNotFound);
    throw OpenError(path_, std::string("cannot open: ") + std::strerror(err), Error::Kind::kIo);
  }
  // A reader rolling back a hot journal holds the writer byte for a moment.
  err = LockWithin(*handle_, kWriterByte, LockType::kExclusive, std::chrono::milliseconds(500));
  if (err == EAGAIN) {
    throw Error(Error::Kind::kLocked,
                path_ +
                    ": the database is open for writing by another program or window; "
                    "close it there first or open this copy read-only");
  }
  if (err != 0)
    throw OpenError(path_, std::string("cannot lock: ") + std::strerror(err), Error::Kind::kIo);
  if (LockFileHeld(*fs_, path_)) {
    DropWriting("it is in use by another program (its lock file " + LockFilePath(path_) +
                " is held)");
    return;
  }
  const std::string journal = JournalPath(path_);
  journal_ = fs_->Open(journal, FileSystem::Mode::kCreate, err);
  if (!journal_) {
    DropWriting("its journal " + journal + " cannot be created (" + std::strerror(err) + ")");
    return;
  }
  if (sync_ == SyncMode::kFull) fs_->SyncFolder(journal);
  if (JournalIsLive(*journal_)) {
    // Left by a writer that stopped in the middle of a commit (we hold the writer byte, so it is
    // gone): put the file back as it was before that commit.
    if (LockWithin(*handle_, kPendingByte, LockType::kExclusive, kWriterWait) != 0 ||
        LockWithin(*handle_, kSharedByte, LockType::kExclusive, kWriterWait) != 0) {
      throw Error(Error::Kind::kLocked, path_ + ": readers do not leave the database; try again");
    }
    std::string what;
    const int rc = RollBack(*journal_, *handle_, sync_ == SyncMode::kFull, what);
    Unlock(*handle_, kSharedByte);
    Unlock(*handle_, kPendingByte);
    if (rc != 0) {
      journal_.reset();
      throw OpenError(path_,
                      "an unfinished commit could not be rolled back from " + journal + " (" +
                          what + ": " + std::strerror(rc) + ")",
                      Error::Kind::kIo);
    }
  }
  handle_->Lock(kJournalByte, 1, LockType::kExclusive);
  writable_ = true;
}

void File::DropWriting(const std::string& reason) {
  read_only_reason_ = path_ + " is open read-only: " + reason;
  Unlock(*handle_, kWriterByte);
  journal_.reset();
  writable_ = false;
}

void File::BeginRead() {
  if (read_depth_++ > 0 || writable_) return;
  try {
    TakeSharedLock();
  } catch (...) {
    --read_depth_;
    throw;
  }
}

void File::EndRead() {
  if (--read_depth_ > 0 || writable_) return;
  Unlock(*handle_, kSharedByte);
}

void File::TakeSharedLock() {
  const auto deadline = std::chrono::steady_clock::now() + kReaderWait;
  auto pause = std::chrono::microseconds(50);
  for (;;) {
    if (handle_->Lock(kPendingByte, 1, LockType::kShared) == 0) {
      const int rc = handle_->Lock(kSharedByte, 1, LockType::kShared);
      Unlock(*handle_, kPendingByte);
      if (rc == 0) {
        if (!JournalIsHot()) return;
        Unlock(*handle_, kSharedByte);
        RecoverHotJournal();
        cache_.clear();
        continue;
      }
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      throw Error(Error::Kind::kLocked,
                  path_ + ": the database is busy: another program is writing it; try again");
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(2000));
  }
}

bool File::JournalIsHot() {
  if (handle_->LockedElsewhere(kJournalByte, 1, LockType::kShared)) return false;  // live writer
  int err = 0;
  std::unique_ptr<FileHandle> journal = fs_->Open(JournalPath(path_), FileSystem::Mode::kRead, err);
  return journal && JournalIsLive(*journal);
}

void File::RecoverHotJournal() {
  const std::string journal_path = JournalPath(path_);
  int err = 0;
  std::unique_ptr<FileHandle> db = fs_->Open(path_, FileSystem::Mode::kReadWrite, err);
  std::unique_ptr<FileHandle> journal;
  if (db) journal = fs_->Open(journal_path, FileSystem::Mode::kReadWrite, err);
  if (!db || !journal) {
    throw OpenError(path_,
                    "a program stopped in the middle of a commit; rolling it back from " +
                        journal_path + " needs write access (" + std::strerror(err) + ")",
                    Error::Kind::kIo);
  }
  // Somebody else (a writer opening, another reader) may be at it already: then wait for them.
  if (db->Lock(kWriterByte, 1, LockType::kExclusive) != 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return;
  }
  if (LockWithin(*db, kPendingByte, LockType::kExclusive, kWriterWait) != 0 ||
      LockWithin(*db, kSharedByte, LockType::kExclusive, kWriterWait) != 0) {
    return;  // the caller's wait runs out in time
  }
  if (db->LockedElsewhere(kJournalByte, 1, LockType::kShared)) return;
  std::string what;
  const int rc = RollBack(*journal, *db, true, what);
  if (rc != 0) {
    throw OpenError(path_,
                    "an unfinished commit could not be rolled back from " + journal_path + " (" +
                        what + ": " + std::strerror(rc) + ")",
                    Error::Kind::kIo);
  }
  journal.reset();
  fs_->Remove(journal_path);
}  // closing `db` drops its locks

void File::RememberStat() {
  FileStat st;
  if (int err = handle_->Stat(st); err != 0) {
    throw OpenError(path_, std::string("cannot stat: ") + std::strerror(err), Error::Kind::kIo);
  }
  stat_size_ = st.size;
  stat_mtime_ns_ = st.mtime_ns;
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
  if (int err = handle_->Read(offset, out, done); err != 0) {
    throw OpenError(path_, std::string("read failed: ") + std::strerror(err), Error::Kind::kIo);
  }
  if (done != out.size()) {
    throw OpenError(path_, "is shorter than expected (it changed while open?)",
                    Error::Kind::kCorrupt);
  }
}

Page File::ReadPage(uint32_t n) const {
  if (n >= page_count_) {
    throw CorruptPage(
        path_, n,
        "beyond the end of the file, which has " + std::to_string(page_count_) + " pages");
  }
  if (!batch_.empty()) {
    auto it = batch_.find(n);
    if (it != batch_.end()) return Page(n, it->second, path_);
  }
  return Page(n, DiskPage(n), path_);
}

std::shared_ptr<const std::vector<uint8_t>> File::DiskPage(uint32_t n) const {
  auto it = cache_.find(n);
  if (it != cache_.end()) return it->second;
  auto data = std::make_shared<std::vector<uint8_t>>(info_->page_size);
  ReadAt(static_cast<uint64_t>(n) * info_->page_size, *data);
  std::shared_ptr<const std::vector<uint8_t>> snapshot = std::move(data);
  CacheInsert(n, snapshot);
  return snapshot;
}

void File::CacheInsert(uint32_t n, std::shared_ptr<const std::vector<uint8_t>> data) const {
  if (cache_.size() >= kMaxCachedPages) cache_.clear();
  cache_[n] = std::move(data);
}

void File::CheckWrite(uint32_t n, size_t size, uint32_t count) const {
  if (!writable_) {
    throw Error(Error::Kind::kInvalidArgument, read_only_reason_.empty()
                                                   ? path_ + ": the database is open read-only"
                                                   : read_only_reason_);
  }
  if (poisoned_) {
    throw Error(Error::Kind::kIo, path_ +
                                      ": an earlier commit failed and could not be rolled "
                                      "back; close and reopen the database to restore it");
  }
  if (size != info_->page_size || n > count) {
    throw Error(Error::Kind::kInvalidArgument,
                path_ + ": bad page write (page " + std::to_string(n) + ")");
  }
}

void File::WritePages(const PageList& pages) {
  SharedPages shared;
  shared.reserve(pages.size());
  for (const auto& [n, bytes] : pages) {
    shared.emplace_back(n, std::make_shared<const std::vector<uint8_t>>(bytes.begin(), bytes.end()));
  }
  WritePages(std::move(shared));
}

void File::WritePages(SharedPages pages) {
  if (in_batch_) {
    for (auto& [n, bytes] : pages) {
      CheckWrite(n, bytes->size(), page_count_);
      batch_[n] = std::move(bytes);
      if (n == page_count_) ++page_count_;
    }
    return;
  }
  uint32_t count = page_count_;
  PageList spans;
  spans.reserve(pages.size());
  for (const auto& [n, bytes] : pages) {
    CheckWrite(n, bytes->size(), count);
    if (n == count) ++count;
    spans.emplace_back(n, *bytes);
  }
  Commit(spans);
  for (auto& [n, bytes] : pages) CacheInsert(n, std::move(bytes));
}

std::shared_ptr<std::vector<uint8_t>> File::TakeSpareBuffer() {
  if (spares_.empty()) return nullptr;
  std::shared_ptr<std::vector<uint8_t>> buffer = std::move(spares_.back());
  spares_.pop_back();
  return buffer;
}

void File::KeepSpareBuffer(std::shared_ptr<const std::vector<uint8_t>> buffer) {
  constexpr size_t kMostSpares = 16;
  if (buffer == nullptr || buffer.use_count() != 1 || buffer->size() != info_->page_size ||
      spares_.size() >= kMostSpares) {
    return;
  }
  // Every page buffer is made writable and handed over as const: with the last reference in
  // hand, nobody can see the bytes change.
  spares_.push_back(std::const_pointer_cast<std::vector<uint8_t>>(std::move(buffer)));
}

void File::BeginBatch() {
  CheckWrite(0, info_->page_size, 0);
  if (in_batch_) {
    throw Error(Error::Kind::kInvalidArgument, path_ + ": a transaction is already open");
  }
  in_batch_ = true;
}

void File::CommitBatch() {
  if (!in_batch_) throw Error(Error::Kind::kInvalidArgument, path_ + ": no transaction is open");
  PageList pages;
  pages.reserve(batch_.size());
  for (const auto& [n, data] : batch_) pages.emplace_back(n, *data);
  // Ascending, so that appended pages extend the file in order.
  std::sort(pages.begin(), pages.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  try {
    Commit(pages);
  } catch (...) {
    RollbackBatch();
    throw;
  }
  for (auto& [n, data] : batch_) CacheInsert(n, std::move(data));
  batch_.clear();
  in_batch_ = false;
}

void File::RollbackBatch() {
  if (!in_batch_) throw Error(Error::Kind::kInvalidArgument, path_ + ": no transaction is open");
  batch_.clear();
  page_count_ = disk_page_count_;
  in_batch_ = false;
}

// One commit: originals to the journal (synced), the new pages to the file (synced), then the
// journal's header cleared (synced). The file is overwritten only under the exclusive shared-byte
// lock, so readers see it before or after, never between.
void File::Commit(const PageList& pages) {
  if (pages.empty()) return;
  const bool full = sync_ == SyncMode::kFull;
  const uint64_t length = uint64_t{disk_page_count_} * info_->page_size;
  std::vector<std::shared_ptr<const std::vector<uint8_t>>> kept;
  PageList originals;
  for (const auto& [n, bytes] : pages) {
    if (n >= disk_page_count_) continue;
    kept.push_back(DiskPage(n));
    originals.emplace_back(n, *kept.back());
  }
  const std::string nothing = "; nothing was written";
  const std::vector<uint8_t> journal = BuildJournal(info_->page_size, length, ++nonce_, originals);
  {
    size_t total = 0;
    int err = 0;
    while (total < journal.size() && err == 0) {
      size_t done = 0;
      err = journal_->Write(total, std::span<const uint8_t>(journal).subspan(total), done);
      if (err == 0 && done == 0) err = ENOSPC;
      total += done;
    }
    if (err == 0 && full) err = journal_->Sync();
    if (err != 0) {
      ClearJournal(*journal_);
      throw Error(Error::Kind::kIo, path_ + ": cannot write the journal " + JournalPath(path_) +
                                        ": " + std::strerror(err) + nothing);
    }
  }
  // Both bytes in one call when no reader is inside (the usual case, and one system call less per
  // commit); else the pending byte first, so that new readers wait while those inside leave.
  static_assert(kSharedByte == kPendingByte + 1);
  if (handle_->Lock(kPendingByte, 2, LockType::kExclusive) != 0 &&
      (LockWithin(*handle_, kPendingByte, LockType::kExclusive, kWriterWait) != 0 ||
       LockWithin(*handle_, kSharedByte, LockType::kExclusive, kWriterWait) != 0)) {
    Unlock(*handle_, kPendingByte);
    ClearJournal(*journal_);
    throw Error(Error::Kind::kLocked,
                path_ + ": readers in other programs do not leave the database" + nothing);
  }
  struct Release {
    FileHandle& h;
    ~Release() { h.Lock(kPendingByte, 2, LockType::kUnlock); }
  } release{*handle_};
  for (const auto& [n, bytes] : pages) {
    const uint64_t offset = uint64_t{n} * info_->page_size;
    size_t total = 0;
    int err = 0;
    while (total < bytes.size() && err == 0) {
      size_t done = 0;
      err = handle_->Write(offset + total, bytes.subspan(total), done);
      if (err == 0 && done == 0) err = ENOSPC;
      total += done;
    }
    if (err != 0) {
      Restore(originals, length,
              Error(Error::Kind::kIo, path_ + ": write of page " + std::to_string(n) +
                                          " failed: " + std::strerror(err)));
    }
  }
  if (full) {
    if (int err = handle_->Sync(); err != 0) {
      Restore(originals, length,
              Error(Error::Kind::kIo, path_ + ": sync failed: " + std::strerror(err)));
    }
  }
  int err = ClearJournal(*journal_);
  if (err == 0 && full) err = journal_->Sync();
  if (err != 0) {
    // Whether the cleared header reached the disk is unknown: put it back and undo the commit,
    // so that the file and the journal agree on "nothing was written".
    size_t done = 0;
    journal_->Write(0, std::span<const uint8_t>(journal).first(kJournalHeaderSize), done);
    Restore(originals, length,
            Error(Error::Kind::kIo, path_ + ": cannot clear the journal " + JournalPath(path_) +
                                        ": " + std::strerror(err)));
  }
  for (const auto& [n, bytes] : pages) {
    if (n >= disk_page_count_) disk_page_count_ = n + 1;
  }
  if (!in_batch_) page_count_ = disk_page_count_;
  // No RememberStat(): only a reader revalidates, and nobody else writes while we hold the
  // writer byte.
}

// Puts the originals back after a failed write, then throws `cause` saying so.
void File::Restore(const PageList& originals, uint64_t length, const Error& cause) {
  cache_.clear();
  std::string what;
  const int rc = RollBack(*journal_, *handle_, sync_ == SyncMode::kFull, what);
  if (rc == 0) {
    RememberStat();
    throw Error(cause.kind(),
                std::string(cause.what()) + "; the commit was rolled back and nothing was written");
  }
  // The journal could not be read back: try the copies in memory.
  bool restored = true;
  for (const auto& [n, bytes] : originals) {
    size_t done = 0;
    if (handle_->Write(uint64_t{n} * info_->page_size, bytes, done) != 0 || done != bytes.size()) {
      restored = false;
    }
  }
  if (restored && handle_->Truncate(length) == 0 &&
      (sync_ != SyncMode::kFull || handle_->Sync() == 0) && ClearJournal(*journal_) == 0) {
    throw Error(cause.kind(),
                std::string(cause.what()) + "; the commit was rolled back and nothing was written");
  }
  poisoned_ = true;
  throw Error(cause.kind(), std::string(cause.what()) + "; rolling the commit back failed too (" +
                                what + ": " + std::strerror(rc) +
                                "); the journal restores the file when it is next opened");
}

bool File::Revalidate() {
  if (writable_) return false;  // we hold the writer byte: nobody else changes the file
  const uint64_t old_size = stat_size_;
  const int64_t old_mtime = stat_mtime_ns_;
  const bool settled = stat_taken_ns_ - old_mtime > kMtimeSettleNs;
  RememberStat();
  if (settled && stat_size_ == old_size && stat_mtime_ns_ == old_mtime) return false;
  cache_.clear();
  page_count_ =
      static_cast<uint32_t>(std::min<uint64_t>(stat_size_ / info_->page_size, UINT32_MAX / 2));
  disk_page_count_ = page_count_;
  return true;
}

}  // namespace jet
