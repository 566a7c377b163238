// Random writes on tables joined by relationships (cascading deletes through two levels, a
// cascading update, cascade to Null, a restricting relationship), checked against a model of what
// Access does: every verdict, the rows after each batch, the file unchanged after every refusal,
// the checker and mdbtools after each batch.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <string>

#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

using Fk = std::optional<int>;

struct Model {
  std::map<int, int> parent;  // ID -> Name number
  std::map<int, Fk> child;    // ID -> P (Parent.ID; cascade update and delete)
  std::map<int, Fk> grand;    // ID -> C (Child.ID; cascade delete)
  std::map<int, Fk> tag;      // ID -> P (Parent.ID; cascade to Null)
  std::map<int, Fk> ref;      // ID -> P (Parent.ID; restricted)
};

std::string Sql(Fk v) { return v ? std::to_string(*v) : "NULL"; }

std::map<int, Fk> ReadFk(Database& db, const std::string& table) {
  std::map<int, Fk> out;
  for (const auto& row : db.Query("SELECT * FROM " + table).rows) {
    out[row[0].as<int32_t>()] = row[1].is_null() ? Fk() : Fk(row[1].as<int32_t>());
  }
  return out;
}

void ExpectModel(Database& db, const Model& m) {
  std::map<int, int> parent;
  for (const auto& row : db.Query("SELECT * FROM Parent").rows) {
    parent[row[0].as<int32_t>()] = row[1].as<int32_t>();
  }
  EXPECT_EQ(parent, m.parent);
  EXPECT_EQ(ReadFk(db, "Child"), m.child);
  EXPECT_EQ(ReadFk(db, "Grand"), m.grand);
  EXPECT_EQ(ReadFk(db, "Tag"), m.tag);
  EXPECT_EQ(ReadFk(db, "Ref"), m.ref);
}

bool Refers(const std::map<int, Fk>& rows, int key) {
  for (const auto& [id, fk] : rows) {
    if (fk == key) return true;
  }
  return false;
}

// Deletes child `id` with its grandchildren.
void DeleteChild(Model& m, int id) {
  m.child.erase(id);
  std::erase_if(m.grand, [&](const auto& g) { return g.second == id; });
}

TEST(RelatedRandomTest, VerdictsAndRowsFollowTheModel) {
  testutil::TempDir dir;
  const std::string path = dir.File("related.mdb");
  auto db = Database::Create(path);
  for (const char* sql : {
           "CREATE TABLE Parent (ID LONG PRIMARY KEY, Name LONG)",
           "CREATE TABLE Child (ID LONG PRIMARY KEY, P LONG, CONSTRAINT PC FOREIGN KEY (P) "
           "REFERENCES Parent (ID) ON UPDATE CASCADE ON DELETE CASCADE)",
           "CREATE TABLE Grand (ID LONG PRIMARY KEY, C LONG, CONSTRAINT CG FOREIGN KEY (C) "
           "REFERENCES Child (ID) ON DELETE CASCADE)",
           "CREATE TABLE Tag (ID LONG PRIMARY KEY, P LONG, CONSTRAINT PT FOREIGN KEY (P) "
           "REFERENCES Parent (ID) ON UPDATE CASCADE ON DELETE SET NULL)",
           "CREATE TABLE Ref (ID LONG PRIMARY KEY, P LONG, CONSTRAINT PR FOREIGN KEY (P) "
           "REFERENCES Parent (ID))",
       }) {
    db->Execute(sql);
  }
  Model m;
  std::mt19937 rng(14);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto fk = [&](int n) { return pick(8) == 0 ? Fk() : Fk(pick(n)); };
  int ops = 0, refused = 0;
  for (int batch = 0; batch < 6; ++batch) {
    for (int i = 0; i < 150; ++i, ++ops) {
      std::string sql;
      bool ok = true;
      Model next = m;
      const int kind = pick(10);
      const int id = pick(60);
      if (kind <= 1) {
        sql = "INSERT INTO Parent VALUES (" + std::to_string(id) + ", " + std::to_string(i) + ")";
        ok = !m.parent.count(id);
        next.parent[id] = i;
      } else if (kind <= 5) {
        static const char* kTables[] = {"Child", "Grand", "Tag", "Ref"};
        const int t = kind - 2;
        std::map<int, Fk>& rows = t == 0   ? next.child
                                  : t == 1 ? next.grand
                                  : t == 2 ? next.tag
                                           : next.ref;
        const Fk v = fk(30);
        sql = std::string("INSERT INTO ") + kTables[t] + " VALUES (" + std::to_string(id) + ", " +
              Sql(v) + ")";
        const bool parent_exists = !v || (t == 1 ? m.child.count(*v) : m.parent.count(*v));
        ok = !rows.count(id) && parent_exists;
        rows[id] = v;
      } else if (kind == 6) {
        const int key = pick(30);
        sql = "DELETE FROM Parent WHERE ID = " + std::to_string(key);
        ok = !Refers(m.ref, key);
        next.parent.erase(key);
        for (const auto& [cid, p] : m.child) {
          if (p == key) DeleteChild(next, cid);
        }
        for (auto& [tid, p] : next.tag) {
          if (p == key) p.reset();
        }
      } else if (kind == 7) {
        const int key = pick(30), to = pick(30);
        sql = "UPDATE Parent SET ID = " + std::to_string(to) + " WHERE ID = " + std::to_string(key);
        const bool changes = m.parent.count(key) && key != to;
        ok = !changes || (!m.parent.count(to) && !Refers(m.ref, key));
        if (changes) {
          next.parent.erase(key);
          next.parent[to] = m.parent.at(key);
          for (auto* rows : {&next.child, &next.tag}) {
            for (auto& [rid, p] : *rows) {
              if (p == key) p = to;
            }
          }
        }
      } else if (kind == 8) {
        const int key = pick(60), of = pick(30);
        sql = "DELETE FROM Child WHERE ID = " + std::to_string(key) +
              " OR P = " + std::to_string(of) + " AND NOT ID < 30";
        for (const auto& [cid, p] : m.child) {
          if (cid == key || (p == of && cid >= 30)) DeleteChild(next, cid);
        }
      } else {
        const Fk v = fk(30);
        sql = "UPDATE Tag SET P = " + Sql(v) + " WHERE ID = " + std::to_string(id);
        ok = !m.tag.count(id) || !v || m.parent.count(*v);
        if (next.tag.count(id)) next.tag[id] = v;
      }
      SCOPED_TRACE(sql);
      const uint64_t before = testutil::HashFile(path);
      try {
        db->Execute(sql);
        EXPECT_TRUE(ok) << "accepted";
        m = std::move(next);
      } catch (const Error& e) {
        EXPECT_FALSE(ok) << e.what();
        EXPECT_EQ(testutil::HashFile(path), before);
        ++refused;
      }
    }
    SCOPED_TRACE("batch " + std::to_string(batch));
    ExpectModel(*db, m);
    db.reset();
    const CheckReport report = CheckFile(path);
    EXPECT_TRUE(report.ok()) << report.problems.front();
    if (testutil::MdbtoolsComparisonAvailable()) {
      EXPECT_EQ(testutil::CompareWithMdbtools(dir, path).substr(0, 5), "AGREE");
    }
    db = Database::Open(path, OpenMode::kReadWrite);
  }
  RecordProperty("operations", ops);
  RecordProperty("refused", refused);
  std::printf("related random writes: %d operations, %d refused\n", ops, refused);
}

}  // namespace
}  // namespace jet
