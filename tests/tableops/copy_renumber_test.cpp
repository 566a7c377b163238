// Copy to the clipboard and the Idx renumbering on real files.

#include "database/field.h"
#include "database/key_repair.h"
#include "jet/check.h"
#include "tableops/copy.h"
#include "tableops/renumber.h"
#include "tableops_test_util.h"

namespace tableops {
namespace {

class CopyTest : public optest::OpsTest {
 protected:
  optest::TextClipboard clipboard_;
};

TEST_P(CopyTest, RowTexts) {
  Create({"CREATE TABLE T (N LONG, A TEXT(10), B TEXT(10))", "CREATE TABLE E (N LONG, M MEMO)",
          "INSERT INTO T(N, A, B) VALUES(1, 'a', Null)",
          "INSERT INTO T(N, A, B) VALUES(2, 'b', 'x;')"});
  const Page page = OpenPage("T");
  CopyRow(page, clipboard_);
  EXPECT_EQ(clipboard_.text, "1;a;");
  page.query->Next();
  CopyRow(page, clipboard_);
  EXPECT_EQ(clipboard_.text, "2;b;x;");
  EXPECT_EQ(page.query->CurrentIndex(), 1);
  const Page empty = OpenPage("E");
  CopyRow(empty, clipboard_);
  EXPECT_EQ(clipboard_.text, ";(WideMemo)");
  CopyTable(page, clipboard_);
  EXPECT_EQ(clipboard_.text, "1;a;\r\n2;b;x;\r\n");
  EXPECT_EQ(page.query->CurrentIndex(), 1);
  EXPECT_TRUE(page.query->Eof());
}

TEST_P(CopyTest, ColumnIsTrimmedAsAWhole) {
  Create({"CREATE TABLE T (N LONG, A TEXT(10))", "INSERT INTO T(N, A) VALUES(1, '')",
          "INSERT INTO T(N, A) VALUES(2, '  a')", "INSERT INTO T(N, A) VALUES(3, Null)",
          "INSERT INTO T(N, A) VALUES(4, 'b  ')", "INSERT INTO T(N, A) VALUES(5, '')"});
  const Page page = OpenPage("T");
  grids_.push_back(std::make_unique<PlainGrid>(*page.query, 1));
  const Page second{page.caption, page.query, grids_.back().get()};
  CopyColumn(second, clipboard_);
  EXPECT_EQ(clipboard_.text, "a\r\n\r\nb");
  EXPECT_EQ(page.query->CurrentIndex(), 4);
  page.query->First();
  CopyValue(second, clipboard_);
  EXPECT_EQ(clipboard_.text, "");
  page.query->Next();
  CopyValue(second, clipboard_);
  EXPECT_EQ(clipboard_.text, "  a");
}

TEST_P(CopyTest, EmptyTableAndPendingEdits) {
  Create({"CREATE TABLE T (N LONG, A TEXT(10))", "CREATE TABLE E (N LONG)",
          "INSERT INTO T(N, A) VALUES(1, 'a')"});
  const Page empty = OpenPage("E");
  clipboard_.text = "old";
  CopyTable(empty, clipboard_);
  EXPECT_EQ(clipboard_.text, "");
  clipboard_.text = "old";
  CopyColumn(empty, clipboard_);
  EXPECT_EQ(clipboard_.text, "");
  // A record being edited: copy row shows its values, copy table posts it first.
  const Page page = OpenPage("T");
  page.query->Edit();
  page.query->FieldByName("A")->SetAsString("edited");
  CopyRow(page, clipboard_);
  EXPECT_EQ(clipboard_.text, "1;edited");
  EXPECT_EQ(page.query->State(), database::dsEdit);
  CopyTable(page, clipboard_);
  EXPECT_EQ(clipboard_.text, "1;edited\r\n");
  EXPECT_EQ(page.query->State(), database::dsBrowse);
  EXPECT_EQ(Rows("T"), QStringList({"1|edited"}));
}

TEST_P(CopyTest, CopyOfTheIndexedFixtureMatchesItsRows) {
  SKIP_WITHOUT("game-indexed.mdb");
  const Page page = OpenPage("Settings");
  CopyTable(page, clipboard_);
  // The CR LF inside one value splits its record over two lines.
  EXPECT_EQ(clipboard_.text.count("\r\n"), page.query->RecordCount() + 1);
  EXPECT_TRUE(clipboard_.text.startsWith(QStringLiteral("ServerName;传奇测试服;")));
}

class RenumberTest : public optest::OpsTest {};

TEST_P(RenumberTest, AfterTheKeyRepairIdxIsPrimaryAndTheRunCompletes) {
  // The first record's new number 0 is held by the last one, which the plain run would hit.
  Create({"CREATE TABLE StdItems (Idx LONG, Name TEXT(10))",
          "INSERT INTO StdItems(Idx, Name) VALUES(7, 'a')",
          "INSERT INTO StdItems(Idx, Name) VALUES(1, 'b')",
          "INSERT INTO StdItems(Idx, Name) VALUES(7, 'c')",
          "INSERT INTO StdItems(Idx, Name) VALUES(0, 'd')"});
  {
    database::Query query;
    query.SetConnection(&conn_);
    ASSERT_TRUE(database::RepairTableKey(nullptr, &query, "StdItems"));
  }
  const Page page = OpenPage("StdItems");
  EXPECT_EQ(RenumberStdItems(page), 4);
  EXPECT_EQ(Rows("StdItems"), QStringList({"0|a", "1|b", "2|c", "3|d"}));
  EXPECT_EQ(page.query->CurrentIndex(), 3);
  EXPECT_TRUE(page.query->Eof());
  EXPECT_EQ(page.query->State(), database::dsBrowse);
  EXPECT_TRUE(jet::CheckFile(path_.toStdString()).ok());
}

TEST_P(RenumberTest, OrderOfTheQueryAndOtherPages) {
  Create({"CREATE TABLE StdItems (Idx LONG, Name TEXT(10))", "CREATE TABLE Other (Idx LONG)",
          "INSERT INTO StdItems(Idx, Name) VALUES(5, 'a')",
          "INSERT INTO StdItems(Idx, Name) VALUES(3, 'b')", "INSERT INTO Other(Idx) VALUES(9)"});
  Page page = OpenPage("StdItems");
  page.query->Close();
  page.query->SetSQL("SELECT * FROM StdItems ORDER BY Idx");
  page.query->Open();
  page.caption = "STDITEMS";
  EXPECT_EQ(RenumberStdItems(page), 2);
  EXPECT_EQ(Rows("StdItems"), QStringList({"1|a", "0|b"}));
  const uint64_t before = FileHash();
  EXPECT_EQ(RenumberStdItems(OpenPage("Other")), 0);
  EXPECT_EQ(FileHash(), before);
  EXPECT_TRUE(IsStdItemsCaption("stditems"));
  EXPECT_FALSE(IsStdItemsCaption("StdItems "));
}

TEST_P(RenumberTest, NoIdxFieldLeavesTheFirstRecordInEdit) {
  Create({"CREATE TABLE StdItems (Name TEXT(10))", "INSERT INTO StdItems(Name) VALUES('a')"});
  const Page page = OpenPage("StdItems");
  try {
    RenumberStdItems(page);
    ADD_FAILURE() << "no error";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Field 'Idx' not found");
  }
  EXPECT_EQ(page.query->State(), database::dsEdit);
}

TEST_P(RenumberTest, EmptyTableWritesNothing) {
  Create({"CREATE TABLE StdItems (Idx LONG)"});
  const uint64_t before = FileHash();
  EXPECT_EQ(RenumberStdItems(OpenPage("StdItems")), 0);
  EXPECT_EQ(FileHash(), before);
}

OPS_TEST_FORMATS(CopyTest);
OPS_TEST_FORMATS(RenumberTest);

}  // namespace
}  // namespace tableops
