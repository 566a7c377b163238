// Reading MSysObjects (see catalog.h).

#include "table/catalog.h"

#include <array>

#include "table/row.h"
#include "table/table_scan.h"
#include "page/format.h"

namespace jet {
namespace {

constexpr uint32_t kSystemFlags = 0x80000002;
constexpr uint32_t kQueryKindMask = 0xF0;

template <typename T>
T IntOr(const Value& v, T fallback) {
  if (v.is<int32_t>()) return static_cast<T>(v.as<int32_t>());
  if (v.is<int16_t>()) return static_cast<T>(v.as<int16_t>());
  return fallback;
}

}  // namespace

ObjectKind ClassifyObject(int16_t type, uint32_t flags) {
  switch (type) {
    case kObjectLocalTable:
      return (flags & kSystemFlags) != 0 ? ObjectKind::kSystemTable : ObjectKind::kTable;
    case kObjectOdbcLink:
    case kObjectJetLink:
      return ObjectKind::kLinkedTable;
    case kObjectQuery:
      return (flags & kQueryKindMask) == 0 ? ObjectKind::kSelectQuery : ObjectKind::kOtherQuery;
    default:
      return ObjectKind::kOther;
  }
}

Catalog::Catalog(const File& file, const TextCodec& codec)
    : table_(ReadTableDef(file, codec, kCatalogTdefPage, u"MSysObjects")) {
  static constexpr std::array<std::u16string_view, 5> kNames = {u"Id", u"ParentId", u"Name",
                                                                u"Type", u"Flags"};
  std::vector<Column> columns;
  for (std::u16string_view name : kNames) {
    const Column* col = table_.def.FindColumn(name);
    if (col == nullptr) {
      throw CorruptPage(file.path(), kCatalogTdefPage,
                        "the system catalog has no column " + ToUtf8(name));
    }
    columns.push_back(*col);
  }
  RowDecoder decoder(file, codec, table_, columns);
  std::vector<Value> values;
  ScanRows(file, table_, [&](RowId id, const PageReader& row) {
    decoder.Decode(row, values);
    CatalogObject obj;
    obj.id = IntOr<int32_t>(values[0], 0);
    obj.parent_id = IntOr<int32_t>(values[1], 0);
    if (values[2].is<std::u16string>()) obj.name = values[2].as<std::u16string>();
    obj.type = IntOr<int16_t>(values[3], 0);
    obj.flags = IntOr<uint32_t>(values[4], 0);
    obj.kind = ClassifyObject(obj.type, obj.flags);
    objects_.push_back(std::move(obj));
    row_ids_.push_back(id);
    return true;
  });
}

const CatalogObject* Catalog::FindTable(std::u16string_view name) const {
  for (const CatalogObject& obj : objects_) {
    bool table = obj.kind == ObjectKind::kTable || obj.kind == ObjectKind::kSystemTable ||
                 obj.kind == ObjectKind::kLinkedTable;
    if (table && EqualsIgnoreCase(obj.name, name)) return &obj;
  }
  return nullptr;
}

std::optional<RowId> Catalog::TableRow(uint32_t tdef_page) const {
  for (size_t i = 0; i < objects_.size(); ++i) {
    const CatalogObject& obj = objects_[i];
    const uint32_t page = static_cast<uint32_t>(obj.id) & kTdefPageMask;
    if (obj.type == kObjectLocalTable && page == tdef_page) {
      return row_ids_[i];
    }
  }
  return std::nullopt;
}

}  // namespace jet
