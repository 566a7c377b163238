#include "page/usage_map_writer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "page/data_page_writer.h"
#include "jet/error.h"
#include "page/page_txn.h"
#include "util/write_bytes.h"
#include "page/format.h"

namespace jet {
namespace {

constexpr uint8_t kInlineMap = 0x00;
constexpr uint8_t kReferenceMap = 0x01;
constexpr size_t kInlineHeader = 5;  // type byte + u32 start page

bool TestBit(std::span<const uint8_t> bits, uint32_t i) {
  return (bits[i / 8] >> (i % 8)) & 1u;
}

// Calls `fn(base + i)` for the set bits i < `limit` of `bits`, ascending or descending, until it
// returns false; returns false when `fn` did. Eight bytes at a time: a free-space map is mostly
// zero, and an insert looks at its end.
bool VisitSetBits(std::span<const uint8_t> bits, uint32_t limit, uint32_t base, bool descending,
                  const std::function<bool(uint32_t)>& fn) {
  const uint32_t nbits = std::min<uint32_t>(static_cast<uint32_t>(bits.size()) * 8, limit);
  const uint32_t words = (nbits + 63) / 64;
  for (uint32_t step = 0; step < words; ++step) {
    const uint32_t w = descending ? words - 1 - step : step;
    uint64_t word = 0;
    const uint32_t first = w * 8;
    const uint32_t last = std::min<uint32_t>(first + 8, static_cast<uint32_t>(bits.size()));
    if (last - first == 8 && std::endian::native == std::endian::little) {
      std::memcpy(&word, bits.data() + first, 8);  // byte b at bits 8b..8b+7, as below
    } else {
      for (uint32_t b = first; b < last; ++b) word |= uint64_t{bits[b]} << (8 * (b - first));
    }
    if (nbits - w * 64 < 64) word &= (uint64_t{1} << (nbits - w * 64)) - 1;
    while (word != 0) {
      int k;
      if (descending) {
        k = 63 - std::countl_zero(word);
        word &= ~(uint64_t{1} << k);
      } else {
        k = std::countr_zero(word);
        word &= word - 1;
      }
      if (!fn(base + w * 64 + static_cast<uint32_t>(k))) return false;
    }
  }
  return true;
}

void PutBit(std::span<uint8_t> bits, uint32_t i, bool on) {
  const auto mask = static_cast<uint8_t>(1u << (i % 8));
  if (on) {
    bits[i / 8] |= mask;
  } else {
    bits[i / 8] &= static_cast<uint8_t>(~mask);
  }
}

}  // namespace

std::span<const uint8_t> DataRowBytes(std::span<const uint8_t> page, uint32_t header_size,
                                      const std::string& file, uint32_t page_no, int slot) {
  const WritableDataPage view = WritableDataPage::View(page, header_size, file, page_no);
  if (slot >= view.slot_count()) {
    throw Error(Error::Kind::kCorrupt, file + ": page " + std::to_string(page_no) +
                                           " is corrupt (usage map row " + std::to_string(slot) +
                                           " does not exist)");
  }
  return page.subspan(view.start(slot), view.length(slot));
}

UsageMapEditor::UsageMapEditor(PageTxn& txn, uint32_t map_row, Kind kind)
    : txn_(txn), map_page_(RowPointer::FromU32(map_row).page), map_slot_(RowPointer::FromU32(map_row).row),
      kind_(kind) {}

std::span<const uint8_t> UsageMapEditor::ReadRow() {
  std::span<const uint8_t> row =
      DataRowBytes(txn_.Read(map_page_), txn_.info().data_header_size, txn_.file().path(),
                   map_page_, map_slot_);
  if (row.empty() || (row[0] != kInlineMap && row[0] != kReferenceMap) ||
      (row[0] == kInlineMap && row.size() < kInlineHeader)) {
    throw Error(Error::Kind::kCorrupt, txn_.file().path() + ": page " +
                                           std::to_string(map_page_) +
                                           " is corrupt (bad usage map row)");
  }
  return row;
}

std::span<uint8_t> UsageMapEditor::EditRow() {
  std::span<const uint8_t> row = ReadRow();
  // Where the row is, found before the edit: Edit() may hand out a copy of the bytes read.
  const size_t off = static_cast<size_t>(row.data() - txn_.Read(map_page_).data());
  return txn_.Edit(map_page_).subspan(off, row.size());
}

uint32_t UsageMapEditor::BitmapPage(std::span<const uint8_t> row, size_t j) const {
  const uint32_t bitmap = wr::LoadU32(row, 1 + 4 * j);
  // Access leaves a pointer past the end of the file in a reference-type global map (0xFFFFFF80
  // in a sample); there is no bitmap page behind it, and past the end every page is free.
  if (kind_ == Kind::kGlobal && bitmap >= txn_.page_count()) return 0;
  return bitmap;
}

bool UsageMapEditor::Has(uint32_t page) {
  std::span<const uint8_t> row = ReadRow();
  if (row[0] == kInlineMap) {
    const uint32_t start = wr::LoadU32(row, 1);
    const uint64_t capacity = (row.size() - kInlineHeader) * 8;
    if (page < start || page - start >= capacity) return false;
    return TestBit(row.subspan(kInlineHeader), page - start);
  }
  const uint32_t per_page = txn_.info().usage_map_pages_per_bitmap;
  const size_t j = page / per_page;
  if (1 + 4 * (j + 1) > row.size()) return false;
  const uint32_t bitmap = BitmapPage(row, j);
  if (bitmap == 0) return false;
  std::span<const uint8_t> bits = txn_.Read(bitmap);
  if (bits[0] != 0x05) {
    throw Error(Error::Kind::kCorrupt, txn_.file().path() + ": page " + std::to_string(bitmap) +
                                           " is corrupt (not a usage bitmap page)");
  }
  return TestBit(bits.subspan(4), page % per_page);
}

std::vector<uint32_t> UsageMapEditor::Pages() {
  std::vector<uint32_t> pages;
  ForEachPage(false, [&](uint32_t p) {
    pages.push_back(p);
    return true;
  });
  return pages;
}

std::vector<uint32_t> UsageMapEditor::LastPages(size_t n) {
  std::vector<uint32_t> pages;
  if (n == 0) return pages;
  ForEachPage(true, [&](uint32_t p) {
    pages.push_back(p);
    return pages.size() < n;
  });
  return pages;
}

void UsageMapEditor::ForEachPage(bool descending, const std::function<bool(uint32_t)>& fn) {
  std::span<const uint8_t> row = ReadRow();
  if (row[0] == kInlineMap) {
    const uint32_t start = wr::LoadU32(row, 1);
    std::span<const uint8_t> bits = row.subspan(kInlineHeader);
    VisitSetBits(bits, static_cast<uint32_t>(bits.size() * 8), start, descending, fn);
    return;
  }
  const uint32_t per_page = txn_.info().usage_map_pages_per_bitmap;
  size_t count = 0;
  while (1 + 4 * (count + 1) <= row.size()) ++count;
  for (size_t step = 0; step < count; ++step) {
    const size_t j = descending ? count - 1 - step : step;
    const uint32_t bitmap = BitmapPage(row, j);
    if (bitmap == 0) continue;
    std::span<const uint8_t> bits = txn_.Read(bitmap).subspan(4);
    if (!VisitSetBits(bits, per_page, static_cast<uint32_t>(j) * per_page, descending, fn)) return;
  }
}

void UsageMapEditor::Set(uint32_t page, bool on) {
  if (Has(page) == on) return;
  if (ReadRow()[0] == kInlineMap) {
    SetInline(EditRow(), page, on);
  } else {
    SetReference(page, on);
  }
}

void UsageMapEditor::SetInline(std::span<uint8_t> row, uint32_t page, bool on) {
  const uint32_t start = wr::LoadU32(row, 1);
  const uint32_t capacity = static_cast<uint32_t>((row.size() - kInlineHeader) * 8);
  if (page >= start && page - start < capacity) {
    PutBit(row.subspan(kInlineHeader), page - start, on);
    return;
  }
  if (!on || kind_ == Kind::kGlobal) return;  // nothing to clear / the global map stays put
  std::vector<uint32_t> pages = Pages();
  pages.push_back(page);
  const auto [lo, hi] = std::minmax_element(pages.begin(), pages.end());
  const uint32_t new_start = *lo / 8 * 8;
  if (*hi - new_start < capacity) {
    MoveWindow(row, pages, new_start);
  } else {
    Promote(page);
  }
}

void UsageMapEditor::MoveWindow(std::span<uint8_t> row, const std::vector<uint32_t>& pages,
                                uint32_t start) {
  std::fill(row.begin() + kInlineHeader, row.end(), uint8_t{0});
  wr::StoreU32(row, 1, start);
  for (uint32_t p : pages) PutBit(row.subspan(kInlineHeader), p - start, true);
}

void UsageMapEditor::Promote(uint32_t extra_page) {
  std::vector<uint32_t> pages = Pages();
  pages.push_back(extra_page);
  std::span<uint8_t> row = EditRow();
  std::fill(row.begin(), row.end(), uint8_t{0});
  row[0] = kReferenceMap;
  for (uint32_t p : pages) SetReference(p, true);
}

void UsageMapEditor::SetReference(uint32_t page, bool on) {
  const uint32_t per_page = txn_.info().usage_map_pages_per_bitmap;
  const size_t j = page / per_page;
  std::span<const uint8_t> row = ReadRow();
  if (1 + 4 * (j + 1) > row.size()) {
    if (!on || kind_ == Kind::kGlobal) return;
    throw Error(Error::Kind::kNotSupported, txn_.file().path() + ": page " +
                                                std::to_string(page) +
                                                " is beyond what the usage map can record");
  }
  uint32_t bitmap = BitmapPage(row, j);
  if (bitmap == 0) {
    if (!on || kind_ == Kind::kGlobal) return;
    bitmap = txn_.Allocate();
    std::span<uint8_t> bp = txn_.Edit(bitmap);
    bp[0] = 0x05;
    bp[1] = 0x01;
    wr::StoreU32(EditRow(), 1 + 4 * j, bitmap);
  }
  PutBit(txn_.Edit(bitmap).subspan(4), page % per_page, on);
}

}  // namespace jet
