#pragma once

// The state behind one jet::Database: the file, its text codec and what was decoded from it
// (the catalog and table definitions), cached until the file changes.
//
// Every public operation starts with Refresh(), which returns the scope of one read operation:
// while it lives, no other program's commit changes the file (see File::BeginRead), and if one
// changed it since the last look, all cached pages and definitions were dropped. Code that writes
// through this object calls InvalidateCaches() after changing the catalog or a definition.

#include <memory>
#include <optional>
#include <vector>
#include <string>
#include <unordered_map>

#include "table/catalog.h"
#include "page/file.h"
#include "jet/database.h"
#include "table/table_def.h"
#include "value/text.h"

namespace jet {

class DatabaseImpl;
class PageTxn;

// One read operation on the file (see DatabaseImpl::Refresh).
class ReadScope {
 public:
  explicit ReadScope(File& file) : file_(&file) { file_->BeginRead(); }
  ~ReadScope() {
    if (file_ != nullptr) file_->EndRead();
  }
  ReadScope(ReadScope&& other) noexcept : file_(other.file_) { other.file_ = nullptr; }
  ReadScope& operator=(ReadScope&&) = delete;

 private:
  File* file_;
};

class DatabaseImpl {
 public:
  // Opens the file; throws as File's constructor does.
  DatabaseImpl(const std::string& path, const OpenOptions& options);

  File& file() { return *file_; }
  const File& file() const { return *file_; }
  const TextCodec& codec() const { return *codec_; }

  // Starts a read operation; drops every cache when the file changed on disk since the last one.
  [[nodiscard]] ReadScope Refresh() const;
  // Drops the decoded catalog and table definitions.
  void InvalidateCaches() const;
  // After a row write committed through `txn` on the table whose TDEF starts at `tdef_page`:
  // brings the counters of its cached definition (row count, last autonumber, distinct keys, the
  // only TDEF fields a row write changes) up to date from the transaction's pages. Decoding the
  // whole definition again after every row took a fifth of an insert.
  void RowsWritten(uint32_t tdef_page, PageTxn& txn) const;

  // The catalog, read on first use.
  const Catalog& catalog() const;
  // The decoded definition of the local table `name` (case-insensitive). Throws kNotFound for a
  // missing or linked table.
  std::shared_ptr<const TableInfo> TableByName(std::u16string_view name) const;
  // The decoded definition starting at `tdef_page`, named `name`, read on first use.
  std::shared_ptr<const TableInfo> TableAt(uint32_t tdef_page, std::u16string_view name) const;
  // The relationships of MSysRelationships, read on first use.
  const std::vector<Relationship>& relationships() const;

 private:
  // Marks the columns whose "Required" property the table's catalog row sets.
  void ApplyColumnProperties(TableInfo& table) const;

  std::unique_ptr<File> file_;                  // the open file
  std::unique_ptr<TextCodec> codec_;            // text decoding for its format and code page
  mutable std::unique_ptr<Catalog> catalog_;    // null until first needed
  mutable std::unordered_map<uint32_t, std::shared_ptr<TableInfo>> tables_;  // by TDEF page
  mutable std::optional<std::vector<Relationship>> relationships_;  // unset until first needed
};

// Refuses writes through a handle opened read-only (kInvalidArgument).
void RequireWritable(const DatabaseImpl& db);

// The internals behind a Database, for engine code beside the API (the checker) and white-box
// tests. Application code has no business here: it sees only jet/database.h.
struct DatabaseInternals {
  static DatabaseImpl& Of(Database& db) { return *db.impl_; }
  static const DatabaseImpl& Of(const Database& db) { return *db.impl_; }
};

}  // namespace jet
