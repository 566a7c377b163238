// Text that starts with U+FEFF reads back exactly through the engine, the dump and mdbtools, in
// text and memo columns; where no stored form can hold it the value is refused and the file is
// unchanged.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/check.h"
#include "jet/database.h"
#include "support/write_test_util.h"

namespace jet {
namespace {

TEST(BomTextTest, ReadsBackThroughEveryReader) {
  if (testutil::FixturePath("types.mdb").empty()) GTEST_SKIP() << "no ../shared";
  testutil::TempDir dir;
  const std::string path = testutil::CopyFixture(dir, "types.mdb");
  auto db = Database::Open(path, OpenMode::kReadWrite);
  const TableDef all = db->GetTable(u"AllTypes");
  size_t row_no = 0, txt = 0, txt_u = 0, note = 0;
  for (size_t i = 0; i < all.columns.size(); ++i) {
    if (all.columns[i].name == u"RowNo") row_no = i;
    if (all.columns[i].name == u"Txt") txt = i;
    if (all.columns[i].name == u"TxtU") txt_u = i;
    if (all.columns[i].name == u"Note") note = i;
  }
  const std::vector<std::u16string> stored = {
      u"\uFEFF中文",
      u"\uFEFFka",
      u"\uFEFF",
      u"\uFEFF\uFEFF",
      u"\uFEFFé",
      u"x\uFEFF",
      u"\uFEFF" + std::u16string(300, u'm'),
  };
  std::vector<RowId> ids;
  for (size_t k = 0; k < stored.size(); ++k) {
    std::vector<Value> row(all.columns.size());
    row[row_no] = Value(static_cast<int32_t>(5000 + k));
    if (stored[k].size() <= 100) row[txt] = Value(stored[k]);
    row[note] = Value(stored[k]);
    ids.push_back(db->InsertRow(u"AllTypes", row));
  }
  struct Refused {
    std::string what;
    size_t column;
    std::u16string text;
  };
  const std::vector<Refused> refused = {
      {"a character with a low byte 00", txt, u"\uFEFF一"},
      {"U+0100 in a memo", note, u"\uFEFFa\u0100"},
      {"no compression flag", txt_u, u"\uFEFFab"},
      {"a memo past the compressed form", note, u"\uFEFF" + std::u16string(2000, u'z')},
  };
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.what);
    std::vector<Value> row(all.columns.size());
    row[row_no] = Value(int32_t{6000});
    row[r.column] = Value(r.text);
    const uint64_t before = testutil::HashFile(path);
    EXPECT_THROW(db->InsertRow(u"AllTypes", row), Error);
    EXPECT_THROW(db->UpdateRow(u"AllTypes", ids[0], row), Error);
    EXPECT_EQ(testutil::HashFile(path), before);
  }
  db.reset();

  auto reread = Database::Open(path);
  for (size_t k = 0; k < stored.size(); ++k) {
    SCOPED_TRACE(k);
    const std::vector<Value> row = reread->ReadRow(all, ids[k]);
    if (stored[k].size() <= 100) {
      EXPECT_EQ(row[txt], Value(stored[k]));
    }
    EXPECT_EQ(row[note], Value(stored[k]));
  }
  const CheckReport report = CheckFile(path);
  EXPECT_TRUE(report.ok()) << report.problems.front();
  if (testutil::MdbtoolsComparisonAvailable()) {
    EXPECT_EQ(testutil::CompareWithMdbtools(dir, path).substr(0, 5), "AGREE");
    // mdbtools on its own: the first two rows as they were written.
    const std::string out =
        testutil::RunCommand("mdb-export -Q -d '|' '" + path + "' AllTypes | grep -a '^500[01]|'");
    EXPECT_NE(out.find("|" + ToUtf8(u"\uFEFF中文") + "|"), std::string::npos) << out;
    EXPECT_NE(out.find("|" + ToUtf8(u"\uFEFFka") + "|"), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace jet
