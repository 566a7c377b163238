// The consistency checker behind `mdbtool check` (see jet/check.h). It reads the file through the
// same decoders as the engine but turns every error into a problem line, table by table, so one
// broken structure does not hide the others.

#include "jet/check.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "index/btree.h"
#include "page/data_page.h"
#include "page/data_page_writer.h"
#include "db/database_impl.h"
#include "index/index_equality.h"
#include "index/index_key.h"
#include "index/index_page.h"
#include "index/index_writer.h"
#include "table/long_value.h"
#include "table/row.h"
#include "table/row_writer.h"
#include "table/table_scan.h"
#include "page/usage_map.h"
#include "page/format.h"

namespace jet {
namespace {


struct IdLess {
  bool operator()(RowId a, RowId b) const {
    return a.page != b.page ? a.page < b.page : a.row < b.row;
  }
};

class Checker {
 public:
  explicit Checker(const std::string& path) : db_(Database::Open(path)), impl_(DatabaseInternals::Of(*db_)) {}

  CheckReport Run() {
    const ReadScope scope = impl_.Refresh();  // one consistent state of the file throughout
    Protect("global usage map", [&] {
      for (uint32_t p : ReadUsageMap(file(), kGlobalUsageMap, UsageMapCheck::kAny)) free_.insert(p);
    });
    std::vector<CatalogObject> objects;
    Protect("catalog", [&] { objects = db_->Objects(); });
    for (const CatalogObject& o : objects) {
      if (o.type != 1) continue;
      Protect("table " + ToUtf8(o.name), [&] { CheckTable(o); });
    }
    return std::move(report_);
  }

 private:
  const File& file() const { return impl_.file(); }

  template <typename Fn>
  void Protect(const std::string& what, Fn&& fn) {
    try {
      fn();
    } catch (const std::exception& e) {
      Problem(what + ": " + e.what());
    }
  }
  void Problem(const std::string& text) { report_.problems.push_back(text); }

  // Records `pages` as owned by `owner`; a page owned twice or marked free is a problem.
  void Own(const std::vector<uint32_t>& pages, const std::string& owner) {
    for (uint32_t p : pages) {
      auto [it, fresh] = owners_.emplace(p, owner);
      if (!fresh) Problem("page " + std::to_string(p) + " is in the maps of " + it->second +
                          " and of " + owner);
      if (free_.count(p)) Problem("page " + std::to_string(p) + " of " + owner +
                                  " is marked free in the global usage map");
    }
  }

  void CheckTable(const CatalogObject& o);
  std::map<RowId, std::vector<Value>, IdLess> CheckRows(const TableInfo& t, const std::string& name);
  void CheckLongValues(const TableInfo& t, const std::string& name);
  void CheckIndex(const TableInfo& t, size_t r, const std::string& name,
                  const std::map<RowId, std::vector<Value>, IdLess>& rows);
  std::string WhyApproximate(const TableInfo& t, size_t r,
                             const std::map<RowId, std::vector<Value>, IdLess>& rows) const;

  std::unique_ptr<Database> db_;
  DatabaseImpl& impl_;
  CheckReport report_;
  std::set<uint32_t> free_;                 // pages the global map marks free
  std::map<uint32_t, std::string> owners_;  // page -> structure whose map lists it
};

void Checker::CheckTable(const CatalogObject& o) {
  const std::string name = "table " + ToUtf8(o.name);
  auto info = impl_.TableAt(static_cast<uint32_t>(o.id) & kTdefPageMask, o.name);
  const TableInfo& t = *info;
  ++report_.tables;
  Own(t.pages, name + " (definition)");
  auto rows = CheckRows(t, name);
  report_.rows += static_cast<long>(rows.size());
  if (rows.size() != t.def.row_count) {
    const std::string text = name + ": the definition says " + std::to_string(t.def.row_count) +
                             " rows, " + std::to_string(rows.size()) + " are live";
    if (t.def.system) {
      report_.notes.push_back(text + " (Access does not keep its system tables' row counts exact)");
    } else {
      Problem(text);
    }
  }
  Protect(name + " long values", [&] { CheckLongValues(t, name); });
  for (size_t r = 0; r < t.real_indexes.size(); ++r) {
    Protect(name + " index " + std::to_string(r), [&] { CheckIndex(t, r, name, rows); });
  }
}

std::map<RowId, std::vector<Value>, IdLess> Checker::CheckRows(const TableInfo& t,
                                                               const std::string& name) {
  std::vector<uint32_t> owned = ReadUsageMap(file(), t.owned_map, UsageMapCheck::kPagesExist);
  Own(owned, name);
  if (t.free_map != 0) {
    std::set<uint32_t> owned_set(owned.begin(), owned.end());
    for (uint32_t p : ReadUsageMap(file(), t.free_map, UsageMapCheck::kPagesExist)) {
      if (!owned_set.count(p)) {
        Problem(name + ": free-space map lists page " + std::to_string(p) + " it does not own");
      }
    }
  }
  for (uint32_t p : owned) {
    Page page = file().ReadPage(p);
    const WritableDataPage view = WritableDataPage::View(page.bytes(), file().info().data_header_size,
                                                         file().path(), p);
    if (view.owner() != t.def.tdef_page) Problem(name + ": owns page " + std::to_string(p) +
                                                 " of another owner");
    if (view.StoredFreeSpace() != view.ComputedFreeSpace()) {
      Problem(name + ": page " + std::to_string(p) + " stores free space " +
              std::to_string(view.StoredFreeSpace()) + ", its rows leave " +
              std::to_string(view.ComputedFreeSpace()));
    }
  }
  std::map<RowId, std::vector<Value>, IdLess> rows;
  RowDecoder decoder(file(), impl_.codec(), t, t.def.columns);
  ScanRows(file(), t, [&](RowId id, const PageReader& row) {
    decoder.Decode(row, rows[id]);
    return true;
  });
  return rows;
}

void Checker::CheckLongValues(const TableInfo& t, const std::string& name) {
  std::map<uint16_t, std::set<uint32_t>> owned_by_column;
  for (const LongValueMaps& m : t.long_value_maps) {
    if (m.owned_map == 0) continue;
    std::vector<uint32_t> pages = ReadUsageMap(file(), m.owned_map, UsageMapCheck::kPagesExist);
    Own(pages, name + " long values of column " + std::to_string(m.column_number));
    owned_by_column[m.column_number].insert(pages.begin(), pages.end());
  }
  std::vector<const Column*> long_columns;
  for (const Column& c : t.def.columns) {
    if ((c.type == ColumnType::kMemo || c.type == ColumnType::kOle) && !c.fixed()) {
      long_columns.push_back(&c);
    }
  }
  if (long_columns.empty() || t.var_cols == 0) return;
  std::vector<uint8_t> value;
  RowDecoder decoder(file(), impl_.codec(), t, t.def.columns);
  ScanRows(file(), t, [&](RowId id, const PageReader& row) {
    for (const Column* c : long_columns) {
      std::optional<std::span<const uint8_t>> stored = decoder.VarField(row, *c);
      if (!stored || stored->size() < 12) continue;
      const std::vector<uint8_t> field(stored->begin(), stored->end());
      try {
        ReadLongValue(file(), PageReader(field, file().path(), id.page), value);
      } catch (const Error& e) {
        Problem(name + ": row " + std::to_string(id.row) + " on page " + std::to_string(id.page) +
                ", column " + ToUtf8(c->name) + ": " + e.what());
        continue;
      }
      const uint32_t word = static_cast<uint32_t>(field[0]) | (field[1] << 8) |
                            (field[2] << 16) | (static_cast<uint32_t>(field[3]) << 24);
      const uint32_t first = static_cast<uint32_t>(field[5]) | (field[6] << 8) |
                             (field[7] << 16);
      auto it = owned_by_column.find(c->number);
      if ((word & 0x80000000u) == 0 && it != owned_by_column.end() && !it->second.count(first)) {
        Problem(name + ": long value of column " + ToUtf8(c->name) + " starts on page " +
                std::to_string(first) + ", which its usage map does not list");
      }
    }
    return true;
  });
}

void Checker::CheckIndex(const TableInfo& t, size_t r, const std::string& name,
                         const std::map<RowId, std::vector<Value>, IdLess>& rows) {
  const RealIndex& ri = t.real_indexes[r];
  std::string label = name + " index #" + std::to_string(r);
  for (size_t i = 0; i < t.logical_indexes.size(); ++i) {
    if (t.logical_indexes[i].real_index == r) {
      label = name + " index " + ToUtf8(t.def.indexes[i].name);
      break;
    }
  }
  ++report_.indexes;
  FilePageSource src(file());
  IndexCheck check = VerifyIndex(src, file().info(), ri.root_page, t.def.tdef_page);
  for (const std::string& p : check.problems) Problem(label + ": " + p);
  std::vector<uint32_t> map_pages = ReadUsageMap(file(), ri.usage_map, UsageMapCheck::kPagesExist);
  Own(map_pages, label);
  std::set<uint32_t> mapped(map_pages.begin(), map_pages.end());
  for (uint32_t p : check.pages) {
    if (!mapped.count(p)) Problem(label + ": page " + std::to_string(p) + " is not in its map");
  }
  if (mapped.size() != check.pages.size()) {
    Problem(label + ": its usage map lists " + std::to_string(mapped.size()) +
            " pages, the tree has " + std::to_string(check.pages.size()));
  }
  if (!check.problems.empty()) return;
  std::vector<IndexEntry> stored = ReadIndexEntries(src, file().info(), ri.root_page);
  std::vector<IndexEntry> expected;
  bool exact = true;
  for (const auto& [id, values] : rows) {
    bool all_null = false;
    IndexKey key = RealIndexKey(t, r, values, &all_null, file().format());
    exact = exact && key.exact;
    if (all_null && (ri.flags & kIndexIgnoreNulls)) continue;
    IndexEntry e;
    e.key = std::move(key.bytes);
    e.page = id.page;
    e.row = id.row;
    expected.push_back(std::move(e));
  }
  if (!exact) {
    report_.approximate_indexes.push_back(label + ": keys are approximate (" +
                                          WhyApproximate(t, r, rows) +
                                          "); Access's Compact and Repair rebuilds them");
  }
  if (stored.size() != expected.size()) {
    Problem(label + ": " + std::to_string(stored.size()) + " entries for " +
            std::to_string(expected.size()) + " rows");
    return;
  }
  std::sort(expected.begin(), expected.end(), EntryLess);
  if (exact) {
    for (size_t i = 0; i < stored.size(); ++i) {
      if (stored[i].key != expected[i].key || stored[i].page != expected[i].page ||
          stored[i].row != expected[i].row) {
        Problem(label + ": entry " + std::to_string(i) + " (row " +
                std::to_string(stored[i].row) + " on page " + std::to_string(stored[i].page) +
                ") differs from the key recomputed from the rows");
        return;
      }
    }
    return;
  }
  // Approximate keys cannot be recomputed; every row must still have exactly one entry.
  std::set<RowId, IdLess> want;
  for (const IndexEntry& e : expected) want.insert(RowId{e.page, e.row});
  for (const IndexEntry& e : stored) {
    if (!want.erase(RowId{e.page, e.row})) {
      Problem(label + ": entry for row " + std::to_string(e.row) + " on page " +
              std::to_string(e.page) + " has no live row, or is there twice");
      return;
    }
  }
}

std::string Hex(unsigned v, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, v >>= 4) s[static_cast<size_t>(i)] = kDigits[v & 0xF];
  return s;
}

// Why real index `r` has approximate keys: a text column in a sort order whose encoding is not
// known, or the first character met whose code is not established.
std::string Checker::WhyApproximate(const TableInfo& t, size_t r,
                                    const std::map<RowId, std::vector<Value>, IdLess>& rows) const {
  const Format format = file().format();
  const std::vector<size_t> positions = KeyPositions(t, r);
  for (size_t i : positions) {
    const Column& c = t.def.columns[i];
    if (c.type != ColumnType::kText && c.type != ColumnType::kMemo) continue;
    if (!IsGeneralSortOrder(format, c.sort_order, c.sort_version)) {
      return "column " + ToUtf8(c.name) + " uses sort order 0x" + Hex(c.sort_order, 4) +
             " version " + std::to_string(c.sort_version) + ", whose key encoding is not known";
    }
    if (!IsGeneralSortOrder(format, c.sort_order, c.sort_version, c.code_page)) {
      return "column " + ToUtf8(c.name) + " uses code page " + std::to_string(c.code_page) +
             ", whose key codes are not known";
    }
  }
  for (const auto& [id, values] : rows) {
    for (size_t i : positions) {
      if (!values[i].is<std::u16string>()) continue;
      if (std::optional<char16_t> c = FirstUnestablishedChar(format, values[i].as<std::u16string>())) {
        return "column " + ToUtf8(t.def.columns[i].name) + " holds U+" + Hex(*c, 4) +
               " (row " + std::to_string(id.row) + " on page " + std::to_string(id.page) +
               "), a character whose key code is not established";
      }
    }
  }
  return "a value whose key cannot be built exactly";
}

}  // namespace

CheckReport CheckFile(const std::string& path) { return Checker(path).Run(); }

}  // namespace jet
