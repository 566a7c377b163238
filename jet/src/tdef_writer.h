#pragma once

// Changes to table definitions through a page transaction.
//
// TdefFields patches single fields of an existing definition (row count, last autonumber,
// distinct-key counts) at their offsets in the logical definition string, which spans the first
// TDEF page whole and every continuation page from offset 8.

#include <cstdint>

#include "table_def.h"

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
