#include "table/tdef_writer.h"

#include <algorithm>
#include <string>

#include "jet/error.h"
#include "page/page_txn.h"
#include "util/write_bytes.h"

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
  if (const auto [page, at] = Locate(offset); at + 4 <= txn_.page_size()) {
    return wr::LoadU32(txn_.Read(page), at);  // the usual case: one page holds the field
  }
  uint32_t v = 0;
  for (uint32_t i = 0; i < 4; ++i) {
    auto [page, at] = Locate(offset + i);
    v |= static_cast<uint32_t>(txn_.Read(page)[at]) << (8 * i);
  }
  return v;
}

void TdefFields::StoreU32(uint32_t offset, uint32_t value) {
  if (const auto [page, at] = Locate(offset); at + 4 <= txn_.page_size()) {
    wr::StoreU32(txn_.Edit(page), at, value);
    return;
  }
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

#include "page/page_reader.h"
#include "util/write_bytes.h"

namespace jet {

void AppendDefinitionBytes(std::vector<uint8_t>& out, const std::vector<uint8_t>& raw, size_t from,
                           size_t to) {
  out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(from),
             raw.begin() + static_cast<std::ptrdiff_t>(to));
}

size_t StoredNameEnd(const FormatInfo& f, const std::vector<uint8_t>& raw, size_t at) {
  const size_t length = f.tdef_name_length_size == 2 ? wr::LoadU16(raw, at) : raw.at(at);
  return at + f.tdef_name_length_size + length;
}

TdefSections LocateSections(const TableInfo& t, const std::string& file, const FormatInfo& f) {
  PageReader r(t.raw, file, t.pages.empty() ? 0 : t.pages.front());
  const uint16_t ncols = r.U16(f.tdef_column_count);
  const uint32_t nlogical = r.U32(f.tdef_logical_index_count);
  const uint32_t nreal = r.U32(f.tdef_real_index_count);
  auto name_length = [&](size_t pos) -> size_t {
    return f.tdef_name_length_size == 1 ? r.U8(pos) : r.U16(pos);
  };
  TdefSections s;
  s.count_blocks = f.tdef_header_end;
  s.columns = s.count_blocks + f.tdef_index_count_block * static_cast<size_t>(nreal);
  s.column_names = s.columns + f.col_desc_size * static_cast<size_t>(ncols);
  size_t pos = s.column_names;
  for (uint16_t i = 0; i < ncols; ++i) pos += f.tdef_name_length_size + name_length(pos);
  s.real_defs = pos;
  s.logical_defs = s.real_defs + f.ridx_size * static_cast<size_t>(nreal);
  s.logical_names = s.logical_defs + f.lidx_size * static_cast<size_t>(nlogical);
  pos = s.logical_names;
  for (uint32_t i = 0; i < nlogical; ++i) pos += f.tdef_name_length_size + name_length(pos);
  s.trailer = pos;
  while (r.U16(pos) != 0xFFFF) pos += 10;
  s.end = pos + 2;
  return s;
}

void WriteTdefChain(PageTxn& txn, const std::vector<uint32_t>& pages, std::vector<uint8_t> def) {
  const uint32_t page_size = txn.page_size();
  wr::StoreU32(def, 8, static_cast<uint32_t>(def.size()));
  std::vector<uint32_t> chain = pages;
  size_t needed = 1;
  if (def.size() > page_size) needed += (def.size() - page_size + page_size - 9) / (page_size - 8);
  while (chain.size() < needed) chain.push_back(txn.Allocate());
  for (size_t k = needed; k < chain.size(); ++k) txn.Free(chain[k]);
  chain.resize(needed);
  size_t pos = 0;
  for (size_t k = 0; k < chain.size(); ++k) {
    std::span<uint8_t> page = txn.Edit(chain[k]);
    std::fill(page.begin(), page.end(), uint8_t{0});
    const size_t start = k == 0 ? 0 : 8;
    const size_t take = std::min<size_t>(page_size - start, def.size() - pos);
    std::copy(def.begin() + static_cast<std::ptrdiff_t>(pos),
              def.begin() + static_cast<std::ptrdiff_t>(pos + take), page.begin() + start);
    pos += take;
    page[0] = 0x02;
    page[1] = 0x01;
    const size_t unused = page_size - start - take;
    if (txn.info().format == Format::kJet3) {
      page[2] = 'V';  // Jet3 pages carry this mark where Jet4 keeps the free space
      page[3] = 'C';
    } else {
      wr::StoreU16(page, 2, static_cast<uint16_t>(unused > 8 ? unused - 8 : 0));
    }
    wr::StoreU32(page, 4, k + 1 < chain.size() ? chain[k + 1] : 0);
  }
}

}  // namespace jet
