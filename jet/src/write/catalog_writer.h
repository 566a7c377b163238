#pragma once

// Adding objects to the system catalog: one MSysObjects row, inserted through the ordinary row
// writer so that both catalog indexes (Id, ParentIdName) and the row count stay in step.

#include <cstdint>
#include <string>

#include "jet/value.h"

namespace jet {

class Catalog;
class File;
class TextCodec;
class PageTxn;

constexpr int32_t kTablesContainerId = 0x0F000001;
constexpr uint32_t kJetSystemObject = 0x80000000;
constexpr uint32_t kAccessSystemObject = 0x00000002;

struct CatalogRow {
  int32_t id = 0;
  int32_t parent_id = 0;
  std::u16string name;
  int16_t type = 0;
  uint32_t flags = 0;
  Bytes owner;      // owner SID
  Bytes lv_prop;    // property block; empty = NULL
  double date = 0;  // DateCreate = DateUpdate
};

// The owner SIDs Access gives the engine's own objects and those made by the default user.
Bytes EngineOwner();
Bytes AdminOwner();

// Now, as a Jet date (local time, days since 1899-12-30).
double JetNow();

// Inserts `row` into MSysObjects within `txn`.
void InsertCatalogRow(const File& file, const TextCodec& codec, const Catalog& catalog,
                      PageTxn& txn, const CatalogRow& row);

// The Id of the Tables container (the parent of every table), or kTablesContainerId.
int32_t TablesContainerId(const Catalog& catalog);

}  // namespace jet
