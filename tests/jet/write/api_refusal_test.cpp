// The write API refuses what Access cannot store, as SQL does: dates outside the years 100-9999,
// NaN and infinities in FLOAT/DOUBLE, a changed AutoNumber in an update. Each refusal leaves the
// file byte for byte unchanged; values equal to what the row holds pass untouched.

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

TEST(ApiRefusalTest, ValuesAccessCannotStore) {
  if (testutil::FixturePath("types.mdb").empty()) GTEST_SKIP() << "no ../shared";
  testutil::TempDir dir;
  const std::string path = testutil::CopyFixture(dir, "types.mdb");
  auto db = Database::Open(path, OpenMode::kReadWrite);
  const TableDef all = db->GetTable(u"AllTypes");
  auto column = [&](std::u16string_view name) {
    for (size_t i = 0; i < all.columns.size(); ++i) {
      if (all.columns[i].name == name) return i;
    }
    ADD_FAILURE() << "no column";
    return size_t{0};
  };
  const size_t f32 = column(u"F32"), f64 = column(u"F64"), dt = column(u"DT");
  std::vector<Value> base(all.columns.size());
  base[column(u"RowNo")] = Value(int32_t{1000});
  const RowId id = db->InsertRow(u"AllTypes", base);
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    std::string what;
    size_t column;
    Value value;
  };
  const std::vector<Case> cases = {
      {"NaN double", f64, Value(nan)},
      {"infinite double", f64, Value(-inf)},
      {"NaN float", f32, Value(std::numeric_limits<float>::quiet_NaN())},
      {"infinite float", f32, Value(std::numeric_limits<float>::infinity())},
      {"double NaN into float", f32, Value(nan)},
      {"year 2739807", dt, Value(DateTime{1e9})},
      {"year 99", dt, Value(DateTime{-657436.0})},
      {"NaN date", dt, Value(DateTime{nan})},
      {"infinite date", dt, Value(DateTime{inf})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Value> row = base;
    row[c.column] = c.value;
    const uint64_t before = testutil::HashFile(path);
    for (bool update : {false, true}) {
      try {
        if (update) {
          db->UpdateRow(u"AllTypes", id, row);
        } else {
          db->InsertRow(u"AllTypes", row);
        }
        ADD_FAILURE() << (update ? "update" : "insert") << " accepted";
      } catch (const Error& e) {
        EXPECT_EQ(e.kind(), Error::Kind::kConstraint) << e.what();
        EXPECT_NE(std::string(e.what()).find("out of range"), std::string::npos) << e.what();
      }
      EXPECT_EQ(testutil::HashFile(path), before);
    }
  }
  // The limits themselves are stored.
  std::vector<Value> edge = base;
  edge[dt] = Value(DateTime{2958465.99});
  edge[f64] = Value(std::numeric_limits<double>::max());
  db->UpdateRow(u"AllTypes", id, edge);
  EXPECT_EQ(db->ReadRow(all, id)[dt], Value(DateTime{2958465.99}));

  // AutoNumber: kept when Null or equal, refused when changed.
  const TableDef auto_key = db->GetTable(u"AutoKey");
  std::vector<Value> a(auto_key.columns.size());
  a[1] = Value(u"new");
  const RowId aid = db->InsertRow(u"AutoKey", a);
  const std::vector<Value> stored = db->ReadRow(auto_key, aid);
  std::vector<Value> same = stored;
  same[1] = Value(u"renamed");
  db->UpdateRow(u"AutoKey", aid, same);
  same[0] = Value();
  db->UpdateRow(u"AutoKey", aid, same);
  std::vector<Value> changed = stored;
  changed[0] = Value(stored[0].as<int32_t>() + 100);
  const uint64_t before = testutil::HashFile(path);
  try {
    db->UpdateRow(u"AutoKey", aid, changed);
    ADD_FAILURE() << "changed AutoNumber accepted";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot update 'ID'; field not updateable"),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(testutil::HashFile(path), before);
  try {
    db->Execute("UPDATE AutoKey SET ID = 4242");
    ADD_FAILURE() << "changed AutoNumber accepted through SQL";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("field not updateable"), std::string::npos) << e.what();
  }
  EXPECT_EQ(testutil::HashFile(path), before);
  EXPECT_EQ(db->ReadRow(auto_key, aid)[1], Value(u"renamed"));
}

}  // namespace
}  // namespace jet
