#pragma once

// The system catalog: the rows of MSysObjects, whose definition is always on page 2.
//
// Columns used: Id (Long; for a local table its TDEF page in the low 24 bits), ParentId (Long),
// Name (Text), Type (Integer: 1 local table, 4 ODBC link, 5 query, 6 Jet link, 3 container, ...)
// and Flags (Long: 0x80000000 Jet system object, 0x2 Access system object, for queries bits
// 0xF0 the query kind, 0x00 = select).

#include <cstdint>
#include <optional>
#include <vector>

#include "page/file.h"
#include "jet/schema.h"
#include "jet/value.h"
#include "jet/schema.h"
#include "jet/value.h"
#include "table/table_def.h"
#include "value/text.h"

namespace jet {

constexpr uint32_t kCatalogTdefPage = 2;
constexpr uint32_t kTdefPageMask = 0x00FFFFFF;

// How a catalog row with this type and these flags is classified.
ObjectKind ClassifyObject(int16_t type, uint32_t flags);

class Catalog {
 public:
  // Reads MSysObjects (definition and every live row). Throws kCorrupt for a malformed catalog.
  Catalog(const File& file, const TextCodec& codec);

  const std::vector<CatalogObject>& objects() const { return objects_; }
  // The definition of MSysObjects itself.
  const TableInfo& table() const { return table_; }
  // A local (type 1) or linked (type 4, 6) table named `name` (case-insensitive), or nullptr.
  const CatalogObject* FindTable(std::u16string_view name) const;
  // Where the catalog row of the local table whose definition starts at `tdef_page` lives.
  std::optional<RowId> TableRow(uint32_t tdef_page) const;

 private:
  TableInfo table_;                     // MSysObjects' definition
  std::vector<CatalogObject> objects_;  // live rows in scan order
  std::vector<RowId> row_ids_;          // parallel to objects_
};

}  // namespace jet
