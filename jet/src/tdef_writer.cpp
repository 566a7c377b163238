#include "tdef_writer.h"

#include <string>

#include "jet/error.h"
#include "page_txn.h"

namespace jet {

std::pair<uint32_t, uint32_t> TdefFields::Locate(uint32_t offset) {
  const uint32_t page_size = txn_.page_size();
  const uint32_t per_continuation = page_size - 8;
  size_t k = 0;
  uint32_t in_page = offset;
  if (offset >= page_size) {
    k = 1 + (offset - page_size) / per_continuation;
    in_page = 8 + (offset - page_size) % per_continuation;
  }
  if (k >= table_.pages.size()) {
    throw Error(Error::Kind::kCorrupt, txn_.file().path() + ": page " +
                                           std::to_string(table_.pages.front()) +
                                           " is corrupt (table definition shorter than expected)");
  }
  return {table_.pages[k], in_page};
}

uint32_t TdefFields::LoadU32(uint32_t offset) {
  uint32_t v = 0;
  for (uint32_t i = 0; i < 4; ++i) {
    auto [page, at] = Locate(offset + i);
    v |= static_cast<uint32_t>(txn_.Read(page)[at]) << (8 * i);
  }
  return v;
}

void TdefFields::StoreU32(uint32_t offset, uint32_t value) {
  for (uint32_t i = 0; i < 4; ++i) {
    auto [page, at] = Locate(offset + i);
    txn_.Edit(page)[at] = static_cast<uint8_t>(value >> (8 * i));
  }
}

uint32_t TdefFields::row_count() { return LoadU32(txn_.info().tdef_row_count); }
void TdefFields::set_row_count(uint32_t n) { StoreU32(txn_.info().tdef_row_count, n); }
uint32_t TdefFields::last_autonumber() { return LoadU32(txn_.info().tdef_autonumber); }
void TdefFields::set_last_autonumber(uint32_t n) { StoreU32(txn_.info().tdef_autonumber, n); }

uint32_t TdefFields::distinct_keys(size_t i) {
  const FormatInfo& f = txn_.info();
  return LoadU32(static_cast<uint32_t>(f.tdef_header_end + i * f.tdef_index_count_block + 4));
}

void TdefFields::set_distinct_keys(size_t i, uint32_t n) {
  const FormatInfo& f = txn_.info();
  StoreU32(static_cast<uint32_t>(f.tdef_header_end + i * f.tdef_index_count_block + 4), n);
}

}  // namespace jet
