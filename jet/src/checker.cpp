// The consistency checker behind `mdbtool check` (see jet/check.h). It reads the file through the
// same decoders as the engine but turns every error into a problem line, table by table, so one
// broken structure does not hide the others.

#include "jet/check.h"

#include <algorithm>
#include <exception>
#include <map>
#include <optional>
#include <set>

#include "index/btree.h"
#include "index/entry_sorter.h"
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



// The keys one index should hold, recomputed from the rows as they are scanned, kept sorted in
// bounded memory; or the error that stopped computing them.
struct ExpectedIndex {
  explicit ExpectedIndex(size_t run_entries) : entries(run_entries) {}
  EntrySorter entries;
  bool exact = true;
  std::exception_ptr error;
};

class Checker {
 public:
  Checker(const std::string& path, size_t run_entries)
      : db_(Database::Open(path)), impl_(DatabaseInternals::Of(*db_)), run_entries_(run_entries) {}

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
  // Checks the data pages and counts the live rows, recomputing every index's keys on the way.
  long CheckRows(const TableInfo& t, const std::string& name,
                 std::vector<std::unique_ptr<ExpectedIndex>>& expected);
  void CheckLongValues(const TableInfo& t, const std::string& name);
  void CheckIndex(const TableInfo& t, size_t r, const std::string& name, ExpectedIndex& expected);
  std::string WhyApproximate(const TableInfo& t, size_t r) const;

  std::unique_ptr<Database> db_;
  DatabaseImpl& impl_;
  size_t run_entries_;
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
  std::vector<std::unique_ptr<ExpectedIndex>> expected;
  const long rows = CheckRows(t, name, expected);
  report_.rows += rows;
  if (rows != static_cast<long>(t.def.row_count)) {
    const std::string text = name + ": the definition says " + std::to_string(t.def.row_count) +
                             " rows, " + std::to_string(rows) + " are live";
    if (t.def.system) {
      report_.notes.push_back(text + " (Access does not keep its system tables' row counts exact)");
    } else {
      Problem(text);
    }
  }
  Protect(name + " long values", [&] { CheckLongValues(t, name); });
  for (size_t r = 0; r < t.real_indexes.size(); ++r) {
    Protect(name + " index " + std::to_string(r), [&] { CheckIndex(t, r, name, *expected[r]); });
  }
}

long Checker::CheckRows(const TableInfo& t, const std::string& name,
                       std::vector<std::unique_ptr<ExpectedIndex>>& expected) {
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
  for (size_t r = 0; r < t.real_indexes.size(); ++r) {
    expected.push_back(std::make_unique<ExpectedIndex>(run_entries_));
  }
  long rows = 0;
  std::vector<Value> values;
  RowDecoder decoder(file(), impl_.codec(), t, t.def.columns);
  ScanRows(file(), t, [&](RowId id, const PageReader& row) {
    decoder.Decode(row, values);
    ++rows;
    for (size_t r = 0; r < expected.size(); ++r) {
      ExpectedIndex& x = *expected[r];
      if (x.error) continue;
      try {
        bool all_null = false;
        IndexKey key = RealIndexKey(t, r, values, &all_null, file().format());
        x.exact = x.exact && key.exact;
        if (all_null && (t.real_indexes[r].flags & kIndexIgnoreNulls)) continue;
        IndexEntry e;
        e.key = std::move(key.bytes);
        e.page = id.page;
        e.row = id.row;
        x.entries.Add(std::move(e));
      } catch (const std::exception&) {
        x.error = std::current_exception();  // reported with the index, as its own problem
      }
    }
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
                         ExpectedIndex& expected) {
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
  if (expected.error) std::rethrow_exception(expected.error);
  // The stored entries are walked, never held: first their count, then side by side with the
  // recomputed ones.
  size_t stored = 0;
  ForEachIndexEntry(src, file().info(), ri.root_page, [&](const IndexEntry&) {
    ++stored;
    return true;
  });
  const bool exact = expected.exact;
  if (!exact) {
    report_.approximate_indexes.push_back(label + ": keys are approximate (" +
                                          WhyApproximate(t, r) +
                                          "); Access's Compact and Repair rebuilds them");
  }
  if (stored != expected.entries.size()) {
    Problem(label + ": " + std::to_string(stored) + " entries for " +
            std::to_string(expected.entries.size()) + " rows");
    return;
  }
  if (exact) {
    // Both sequences are in entry order: compare them pairwise, neither held whole.
    expected.entries.Rewind();
    IndexEntry e;
    size_t i = 0;
    ForEachIndexEntry(src, file().info(), ri.root_page, [&](const IndexEntry& s) {
      if (!expected.entries.Next(&e) || s.key != e.key || s.page != e.page || s.row != e.row) {
        Problem(label + ": entry " + std::to_string(i) + " (row " + std::to_string(s.row) +
                " on page " + std::to_string(s.page) +
                ") differs from the key recomputed from the rows");
        return false;
      }
      ++i;
      return true;
    });
    return;
  }
  // Approximate keys cannot be recomputed; every row must still have exactly one entry.
  std::vector<uint64_t> want;
  want.reserve(expected.entries.size());
  expected.entries.ForEach([&](const IndexEntry& e) {
    want.push_back((uint64_t{e.page} << 8) | e.row);
    return true;
  });
  std::sort(want.begin(), want.end());
  std::vector<bool> seen(want.size(), false);
  ForEachIndexEntry(src, file().info(), ri.root_page, [&](const IndexEntry& e) {
    const uint64_t id = (uint64_t{e.page} << 8) | e.row;
    auto it = std::lower_bound(want.begin(), want.end(), id);
    const size_t at = static_cast<size_t>(it - want.begin());
    if (it == want.end() || *it != id || seen[at]) {
      Problem(label + ": entry for row " + std::to_string(e.row) + " on page " +
              std::to_string(e.page) + " has no live row, or is there twice");
      return false;
    }
    seen[at] = true;
    return true;
  });
}

std::string Hex(unsigned v, int digits) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string s(static_cast<size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, v >>= 4) s[static_cast<size_t>(i)] = kDigits[v & 0xF];
  return s;
}

// Why real index `r` has approximate keys: a text column in a sort order whose encoding is not
// known, or the first character met whose code is not established.
std::string Checker::WhyApproximate(const TableInfo& t, size_t r) const {
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
  // The rows again, one at a time, in id order (the scan's order) up to the first such character.
  std::string why;
  std::vector<Value> values;
  RowDecoder decoder(file(), impl_.codec(), t, t.def.columns);
  ScanRows(file(), t, [&](RowId id, const PageReader& row) {
    decoder.Decode(row, values);
    for (size_t i : positions) {
      if (!values[i].is<std::u16string>()) continue;
      if (std::optional<char16_t> c = FirstUnestablishedChar(format, values[i].as<std::u16string>())) {
        why = "column " + ToUtf8(t.def.columns[i].name) + " holds U+" + Hex(*c, 4) + " (row " +
              std::to_string(id.row) + " on page " + std::to_string(id.page) +
              "), a character whose key code is not established";
        return false;
      }
    }
    return true;
  });
  return why.empty() ? "a value whose key cannot be built exactly" : why;
}

}  // namespace

CheckReport CheckFile(const std::string& path) { return CheckFile(path, kCheckRunEntries); }

CheckReport CheckFile(const std::string& path, size_t run_entries) {
  return Checker(path, run_entries).Run();
}

}  // namespace jet
