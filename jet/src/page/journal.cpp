#include "page/journal.h"

#include <cerrno>
#include <cstring>

namespace jet {
namespace {

constexpr char kMagic[8] = {'m', 'd', 'b', 'j', 'r', 'n', 'l', '1'};

uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Checksum(uint32_t seed, std::span<const uint8_t> bytes) {
  uint32_t a = seed ^ 0x9E3779B9u;
  uint32_t b = static_cast<uint32_t>(bytes.size());
  size_t i = 0;
  for (; i + 4 <= bytes.size(); i += 4) {
    a += Get32(&bytes[i]);
    b += a;
    a = (a << 7) | (a >> 25);
  }
  for (; i < bytes.size(); ++i) {
    a += bytes[i];
    b += a;
  }
  return a ^ (b * 0x85EBCA6Bu);
}

int ReadAll(FileHandle& f, uint64_t offset, std::span<uint8_t> out, bool& complete) {
  size_t done = 0;
  const int rc = f.Read(offset, out, done);
  complete = rc == 0 && done == out.size();
  return rc;
}

int WriteAll(FileHandle& f, uint64_t offset, std::span<const uint8_t> data) {
  size_t total = 0;
  while (total < data.size()) {
    size_t done = 0;
    const int rc = f.Write(offset + total, data.subspan(total), done);
    if (rc != 0) return rc;
    if (done == 0) return ENOSPC;
    total += done;
  }
  return 0;
}

struct Header {
  uint32_t page_size = 0;
  uint32_t count = 0;
  uint64_t length = 0;
  uint32_t nonce = 0;
};

bool ReadHeader(FileHandle& journal, Header& h) {
  uint8_t raw[kJournalHeaderSize];
  bool complete = false;
  if (ReadAll(journal, 0, raw, complete) != 0 || !complete) return false;
  if (std::memcmp(raw, kMagic, sizeof kMagic) != 0) return false;
  if (Checksum(Get32(raw + 24), std::span<const uint8_t>(raw, 28)) != Get32(raw + 28)) return false;
  h.page_size = Get32(raw + 8);
  h.count = Get32(raw + 12);
  h.length = uint64_t{Get32(raw + 16)} | uint64_t{Get32(raw + 20)} << 32;
  h.nonce = Get32(raw + 24);
  return h.page_size == 2048 || h.page_size == 4096;
}

}  // namespace

std::string JournalPath(const std::string& db_path) { return db_path + "-journal"; }

std::vector<uint8_t> BuildJournal(
    uint32_t page_size, uint64_t original_length, uint32_t nonce,
    const std::vector<std::pair<uint32_t, std::span<const uint8_t>>>& originals) {
  std::vector<uint8_t> out(kJournalHeaderSize + originals.size() * (page_size + 8));
  std::memcpy(out.data(), kMagic, sizeof kMagic);
  Put32(&out[8], page_size);
  Put32(&out[12], static_cast<uint32_t>(originals.size()));
  Put32(&out[16], static_cast<uint32_t>(original_length));
  Put32(&out[20], static_cast<uint32_t>(original_length >> 32));
  Put32(&out[24], nonce);
  Put32(&out[28], Checksum(nonce, std::span<const uint8_t>(out.data(), 28)));
  size_t at = kJournalHeaderSize;
  for (const auto& [n, bytes] : originals) {
    Put32(&out[at], n);
    std::memcpy(&out[at + 4], bytes.data(), page_size);
    Put32(&out[at + 4 + page_size],
          Checksum(nonce ^ n, std::span<const uint8_t>(&out[at + 4], page_size)));
    at += page_size + 8;
  }
  return out;
}

bool JournalIsLive(FileHandle& journal) {
  Header h;
  return ReadHeader(journal, h);
}

int ClearJournal(FileHandle& journal) {
  const uint8_t zeros[kJournalHeaderSize] = {};
  return WriteAll(journal, 0, zeros);
}

int RollBack(FileHandle& journal, FileHandle& db, bool sync, std::string& what) {
  Header h;
  if (!ReadHeader(journal, h)) return 0;
  std::vector<uint8_t> record(h.page_size + 8);
  uint64_t at = kJournalHeaderSize;
  for (uint32_t i = 0; i < h.count; ++i, at += record.size()) {
    bool complete = false;
    if (ReadAll(journal, at, record, complete) != 0 || !complete) break;
    const uint32_t n = Get32(record.data());
    const std::span<const uint8_t> page(&record[4], h.page_size);
    if (Checksum(h.nonce ^ n, page) != Get32(&record[4 + h.page_size])) break;
    if (int rc = WriteAll(db, uint64_t{n} * h.page_size, page); rc != 0) {
      what = "writing back page " + std::to_string(n);
      return rc;
    }
  }
  FileStat st;
  if (int rc = db.Stat(st); rc != 0) {
    what = "looking at the file";
    return rc;
  }
  if (st.size != h.length) {
    if (int rc = db.Truncate(h.length); rc != 0) {
      what = "restoring the file's length";
      return rc;
    }
  }
  if (sync) {
    if (int rc = db.Sync(); rc != 0) {
      what = "syncing the file";
      return rc;
    }
  }
  if (int rc = ClearJournal(journal); rc != 0) {
    what = "clearing the journal";
    return rc;
  }
  if (sync) {
    if (int rc = journal.Sync(); rc != 0) {
      what = "syncing the journal";
      return rc;
    }
  }
  return 0;
}

}  // namespace jet
