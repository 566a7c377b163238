#pragma once

// Changes to table definitions through a page transaction.
//
// TdefFields patches single fields of an existing definition (row count, last autonumber,
// distinct-key counts) at their offsets in the logical definition string, which spans the first
// TDEF page whole and every continuation page from offset 8.

#include <cstdint>
#include <string>
#include <vector>

#include "page/format.h"
#include "table/table_def.h"

namespace jet {

class PageTxn;

class TdefFields {
 public:
  TdefFields(PageTxn& txn, const TableInfo& table) : txn_(txn), table_(table) {}

  uint32_t LoadU32(uint32_t offset);
  void StoreU32(uint32_t offset, uint32_t value);

  uint32_t row_count();
  void set_row_count(uint32_t n);
  uint32_t last_autonumber();
  void set_last_autonumber(uint32_t n);
  // Distinct-key count of real index `i`.
  uint32_t distinct_keys(size_t i);
  void set_distinct_keys(size_t i, uint32_t n);

 private:
  // Page and in-page offset of logical byte `offset`.
  std::pair<uint32_t, uint32_t> Locate(uint32_t offset);

  PageTxn& txn_;
  const TableInfo& table_;
};

}  // namespace jet

namespace jet {

// Where the sections of a definition string start (offsets into TableInfo::raw).
struct TdefSections {
  size_t count_blocks = 0;   // real-index count blocks
  size_t columns = 0;        // column descriptors
  size_t column_names = 0;
  size_t real_defs = 0;      // real-index definitions
  size_t logical_defs = 0;   // logical-index definitions
  size_t logical_names = 0;
  size_t trailer = 0;        // long-value map trailer
  size_t end = 0;            // one past the FF FF terminator (= tdef_len)
};

// Appends bytes [from, to) of the definition string `raw` to `out`.
void AppendDefinitionBytes(std::vector<uint8_t>& out, const std::vector<uint8_t>& raw, size_t from,
                           size_t to);

// The offset just past the column or index name stored at `at` in `raw` (its length field and
// its bytes).
size_t StoredNameEnd(const FormatInfo& format, const std::vector<uint8_t>& raw, size_t at);

// Finds the sections of `t`'s definition. Throws kCorrupt when they run past its bytes.
TdefSections LocateSections(const TableInfo& t, const std::string& file, const FormatInfo& format);

// Writes the definition string `def` (its first 8 bytes are the first page's header) over the
// pages of `t`, reusing them in order and allocating continuation pages as needed; sets tdef_len,
// every page's next pointer and free-space field. Spare old pages are freed.
void WriteTdefChain(PageTxn& txn, const std::vector<uint32_t>& pages, std::vector<uint8_t> def);

}  // namespace jet
