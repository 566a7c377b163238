#pragma once

// The large benchmark file: 2,000,000 rows of big.mdb's StdItems shape (its column definitions,
// its rows repeated with fresh Idx numbers), a primary key on Idx and an index on Name, written
// by the engine itself in one transaction. Building it takes a while, so it is kept in the build
// directory and made again only when missing.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "jet/database.h"

namespace bench {

inline constexpr int64_t kLargeRows = 2'000'000;

// The column of StdItems' definition as CREATE TABLE asks for it.
inline jet::ColumnSpec SpecOf(const jet::Column& c, jet::Format format) {
  jet::ColumnSpec s;
  s.name = c.name;
  s.type = c.type;
  if (c.type == jet::ColumnType::kText) s.length = c.max_chars(format);
  if (c.type == jet::ColumnType::kBinary) s.length = c.length;
  s.precision = c.precision;
  s.scale = c.scale;
  s.not_null = c.required;
  s.autonumber = c.autonumber();
  return s;
}

// Writes the large file at `path` from the StdItems rows of `big_mdb`, `rows` rows in all.
inline void MakeLargeMdb(const std::string& big_mdb, const std::string& path,
                         int64_t rows = kLargeRows) {
  auto source = jet::Database::Open(big_mdb);
  const jet::TableDef items = source->GetTable(u"StdItems");
  std::vector<std::vector<jet::Value>> pattern;
  source->Scan(items, [&](jet::RowId, std::vector<jet::Value>& values) {
    pattern.push_back(values);
    return true;
  });
  size_t idx = items.columns.size();
  jet::TableSpec spec;
  spec.name = u"StdItems";
  for (size_t i = 0; i < items.columns.size(); ++i) {
    spec.columns.push_back(SpecOf(items.columns[i], source->format()));
    if (items.columns[i].name == u"Idx") idx = i;
  }
  spec.primary_key = {u"Idx"};
  jet::IndexSpec name_index;
  name_index.name = u"Name";
  name_index.columns = {{u"Name", true}};
  spec.indexes.push_back(name_index);

  const std::string partial = path + ".partial";
  std::filesystem::remove(partial);
  {
    auto db = jet::Database::Create(partial);
    db->set_sync_mode(jet::SyncMode::kNormal);
    db->CreateTable(spec);
    db->Begin();
    for (int64_t i = 0; i < rows; ++i) {
      std::vector<jet::Value> values = pattern[static_cast<size_t>(i) % pattern.size()];
      values[idx] = jet::Value(static_cast<int32_t>(i + 1));
      db->InsertRow(u"StdItems", values);
    }
    db->Commit();
  }
  std::filesystem::rename(partial, path);
}

// The cached large file in `dir`, made first when missing.
inline std::string LargeMdb(const std::string& dir, const std::string& big_mdb) {
  const std::string path = (std::filesystem::path(dir) / "large-2m.mdb").string();
  if (!std::filesystem::exists(path)) MakeLargeMdb(big_mdb, path);
  return path;
}

}  // namespace bench
