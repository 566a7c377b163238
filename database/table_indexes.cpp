// ReadTableIndexes over a small automation-style object model of its own: an engine object
// opens the file a second time (read-only), hands out a database object, whose TableDefs give a
// table definition with an Indexes collection of named indexes with a Primary flag. Every object
// is released when it goes out of scope, also when a step throws.

#include "database/table_indexes.h"

#include <memory>
#include <optional>

#include <QFile>

#include "database/field_values.h"
#include "jet/database.h"

namespace database {
namespace {

class DaoIndex {
 public:
  explicit DaoIndex(const jet::Index& index) : index_(index) {}
  QString Name() const {
    return ToQString(index_.name);
  }
  bool Primary() const { return index_.primary; }

 private:
  const jet::Index& index_;
};

class DaoIndexes {
 public:
  explicit DaoIndexes(const jet::TableDef& table) : table_(table) {}
  int Count() const { return static_cast<int>(table_.indexes.size()); }
  DaoIndex Item(int i) const {
    if (i < 0 || i >= Count()) {
      throw jet::Error(jet::Error::Kind::kNotFound, "Item not found in this collection.");
    }
    return DaoIndex(table_.indexes[static_cast<size_t>(i)]);
  }

 private:
  const jet::TableDef& table_;
};

class DaoTableDef {
 public:
  explicit DaoTableDef(jet::TableDef def) : def_(std::move(def)) {}
  DaoIndexes Indexes() const { return DaoIndexes(def_); }

 private:
  jet::TableDef def_;
};

class DaoDatabase {
 public:
  explicit DaoDatabase(std::unique_ptr<jet::Database> db) : db_(std::move(db)) {}
  DaoTableDef TableDefs(const QString& name) const {
    return DaoTableDef(Handle().GetTable(name.toStdU16String()));
  }
  void Close() { db_.reset(); }

 private:
  const jet::Database& Handle() const {
    if (!db_) throw jet::Error(jet::Error::Kind::kInvalidArgument, "Object is closed.");
    return *db_;
  }
  std::unique_ptr<jet::Database> db_;
};

class DaoEngine {
 public:
  // A second, independent open of the file; readers never block each other.
  std::unique_ptr<DaoDatabase> OpenDatabase(const QString& path) const {
    return std::make_unique<DaoDatabase>(
        jet::Database::Open(QFile::encodeName(path).toStdString(), jet::OpenMode::kReadOnly));
  }
};

}  // namespace

void ReadTableIndexes(const QString& path, const QString& table_name, IndexList& list) {
  auto engine = std::make_unique<DaoEngine>();
  std::unique_ptr<DaoDatabase> db = engine->OpenDatabase(path);
  // Closes the database on every way out once it was opened.
  struct Closer {
    DaoDatabase* db;
    ~Closer() { db->Close(); }
  } closer{db.get()};
  const DaoTableDef table = db->TableDefs(table_name);
  const int count = table.Indexes().Count();
  for (int i = 0; i < count; ++i) {
    const QString name = table.Indexes().Item(i).Name();
    const bool primary = table.Indexes().Item(i).Primary();
    list.push_back(IndexListEntry{name, primary ? 1 : 0});
  }
}

}  // namespace database
