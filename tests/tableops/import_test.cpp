// The clipboard import on real files: the worked StdItems example to the character, the key
// rules of Magic and Monster, the first-line test, and the states the page's query is left in.

#include "tableops/import.h"

#include "database/field.h"
#include "jet/check.h"
#include "tableops/copy.h"
#include "tableops_test_util.h"

namespace tableops {
namespace {

using optest::OpsTest;
using optest::RecordingPrompter;

class ImportTest : public OpsTest {
 protected:
  void CreateStdItems() {
    Create({"CREATE TABLE StdItems (Idx LONG, ItemName TEXT(40), Weight SHORT, Note TEXT(60))",
            "INSERT INTO StdItems(Idx, ItemName, Weight, Note) VALUES(41, 'Old', 1, 'x')",
            "INSERT INTO StdItems(Idx, ItemName, Weight, Note) VALUES(3, 'Older', 2, 'y')"});
  }
  RecordingPrompter prompter_;
};

TEST_P(ImportTest, WorkedStdItemsExample) {
  CreateStdItems();
  const Page page = OpenPage("StdItems");
  const ImportResult result = ImportText(page, "7;Sword;12;sharp\r\n\r\n  8,Shield\r\n", prompter_);
  EXPECT_EQ(result.sent,
            QStringList({"INSERT INTO StdItems(Idx, ItemName, Weight, Note) VALUES( 42, 'Sword', "
                         "12, 'sharp')",
                         "INSERT INTO StdItems(Idx, ItemName, Weight, Note) VALUES( 43, 'Shield', "
                         "0, '')"}));
  EXPECT_EQ(result.failed, 0);
  EXPECT_TRUE(prompter_.notices.isEmpty());
  EXPECT_EQ(Rows("StdItems"),
            QStringList({"41|Old|1|x", "3|Older|2|y", "42|Sword|12|sharp", "43|Shield|0|"}));
  // Reopened on the whole table, on its last record.
  EXPECT_EQ(page.query->SQL().Lines(), QStringList({"SELECT * FROM StdItems"}));
  EXPECT_TRUE(page.query->Active());
  EXPECT_EQ(page.query->CurrentIndex(), 3);
  EXPECT_TRUE(page.query->Eof());
  // A second import continues after the largest Idx then in the table.
  const ImportResult again = ImportText(page, "1,Bow,2", prompter_);
  ASSERT_EQ(again.sent.size(), 1);
  EXPECT_TRUE(again.sent[0].contains("VALUES( 44, 'Bow', 2, '')"));
  EXPECT_TRUE(jet::CheckFile(path_.toStdString()).ok());
}

TEST_P(ImportTest, FailedLineUsesItsNumberAndTheImportGoesOn) {
  CreateStdItems();
  const Page page = OpenPage("StdItems");
  // The second line's Weight does not fit a 16-bit column.
  const ImportResult result = ImportText(page, "1;A;1\n2;B;99999\n3;C;3", prompter_);
  EXPECT_EQ(result.failed, 1);
  EXPECT_EQ(prompter_.failed.size(), 1);
  EXPECT_TRUE(prompter_.failed[0].contains("VALUES( 43, 'B', 99999, '')"));
  EXPECT_EQ(Rows("StdItems").mid(2), QStringList({"42|A|1|", "44|C|3|"}));
}

TEST_P(ImportTest, StdItemsInAnEmptyTableStartsAtZeroAndNameCaseIsIgnored) {
  Create({"CREATE TABLE stditems (Idx LONG, Name TEXT(10))"});
  const Page page = OpenPage("stditems");
  const ImportResult result = ImportText(page, "9 a\n9 b", prompter_);
  EXPECT_EQ(result.sent, QStringList({"INSERT INTO stditems(Idx, Name) VALUES( 0, 'a')",
                                      "INSERT INTO stditems(Idx, Name) VALUES( 1, 'b')"}));
  EXPECT_EQ(page.query->SQL().Lines(), QStringList({"SELECT * FROM stditems"}));
}

TEST_P(ImportTest, FirstLineTest) {
  // N = 4 fields, the first an integer column: T from 3 to 7 passes, 2 or 8 fails.
  CreateStdItems();
  const Page page = OpenPage("StdItems");
  const struct {
    QString line;
    bool passes;
  } cases[] = {
      {"1 a b", true},
      {"1 a b c d e f", true},
      {"1 a", false},
      {"1 a b c d e f g", false},
      {"Name a b c", false},
      {"$10 a b", true},
      {"x10 a b", true},
      {"1.5 a b", false},
      {"9223372036854775807 a b", false},
  };
  for (const auto& c : cases) {
    const uint64_t before = FileHash();
    RecordingPrompter prompter;
    page.query->Close();
    page.query->SetSQL("SELECT * FROM StdItems");
    page.query->Open();
    const ImportResult result = ImportText(page, c.line, prompter);
    EXPECT_EQ(prompter.notices.isEmpty(), c.passes) << c.line.toStdString();
    if (!c.passes) {
      EXPECT_EQ(prompter.notices, QStringList({kImportMismatch}));
      EXPECT_EQ(prompter.icons.front(), Prompter::Icon::kQuestion);
      EXPECT_EQ(result.statements, 0);
      EXPECT_EQ(FileHash(), before);
      EXPECT_TRUE(page.query->Active());  // untouched
    }
  }
}

TEST_P(ImportTest, EmptyBlankAndSeparatorOnlyTexts) {
  CreateStdItems();
  const Page page = OpenPage("StdItems");
  page.query->Close();
  page.query->SetSQL("SELECT * FROM StdItems WHERE Idx = 3");
  page.query->Open();
  // Blank lines only: nothing happens, not even a reload.
  ImportText(page, " \t\r\n\r\n", prompter_);
  EXPECT_EQ(page.query->SQL().Lines(), QStringList({"SELECT * FROM StdItems WHERE Idx = 3"}));
  // No text: the table is reloaded and stands on its last record.
  ImportText(page, "", prompter_);
  EXPECT_EQ(page.query->SQL().Lines(), QStringList({"SELECT * FROM StdItems"}));
  EXPECT_EQ(page.query->CurrentIndex(), 1);
  // A first line of separators only ends the import with the list-index error.
  const uint64_t before = FileHash();
  try {
    ImportText(page, ",;\n1 a b", prompter_);
    ADD_FAILURE() << "no error";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (0)");
  }
  EXPECT_EQ(FileHash(), before);
  // A later line of separators only yields no statement.
  EXPECT_EQ(ImportText(page, "1 a b\n,,;", prompter_).statements, 1);
}

TEST_P(ImportTest, ApostrophesAndQuotesAreStoredExactly) {
  Create({"CREATE TABLE Items (Name TEXT(40), Qty LONG)"});
  const Page page = OpenPage("Items");
  const ImportResult result =
      ImportText(page, "plain,1\nBob's\n'abc',2\n\"x;y\",3\nx'),(1,\n", prompter_);
  EXPECT_EQ(result.failed, 0) << prompter_.errors.join(" / ").toStdString();
  ASSERT_EQ(result.sent.size(), 5);
  EXPECT_EQ(result.sent[0], "INSERT INTO Items(Name, Qty) VALUES( 'plain', 1)");
  EXPECT_EQ(result.sent[1], "INSERT INTO Items(Name, Qty) VALUES( 'Bob''s', 0)");
  EXPECT_EQ(Rows("Items"),
            QStringList({"plain|1", "Bob's|0", "'abc'|2", "\"x;y\"|3", "x'),(1,|0"}));
}

TEST_P(ImportTest, NamesThatNeedBracketsAreBracketed) {
  Create({"CREATE TABLE [Order Lines] ([Item Name] TEXT(20), [Select] LONG)"});
  const Page page = OpenPage("Order Lines");
  const ImportResult result = ImportText(page, "Axe 3", prompter_);
  EXPECT_EQ(result.sent,
            QStringList({"INSERT INTO [Order Lines]([Item Name], [Select]) VALUES( 'Axe', 3)"}));
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(page.query->SQL().Lines(), QStringList({"SELECT * FROM [Order Lines]"}));
}

TEST_P(ImportTest, ValuesByColumnType) {
  Create(
      {"CREATE TABLE T (Name TEXT(10), I LONG, D DOUBLE, C CURRENCY, B YESNO, W DATETIME, "
       "M MEMO)"});
  const Page page = OpenPage("T");
  const ImportResult result = ImportText(
      page, "a -5 1.5 2.25 True 7 9\nb $FF -0.5 3 False 1.5 x\nc x10 $10 x True 2147483648",
      prompter_);
  EXPECT_EQ(result.failed, 0) << prompter_.errors.join(" / ").toStdString();
  ASSERT_EQ(result.sent.size(), 3);
  EXPECT_EQ(result.sent[0],
            "INSERT INTO T(Name, I, D, C, B, W, M) VALUES( 'a', -5, 1.5, 2.25, "
            "-1, 7, 9)");
  EXPECT_EQ(result.sent[1],
            "INSERT INTO T(Name, I, D, C, B, W, M) VALUES( 'b', 255, -0.5, 3, 0, "
            "0, 0)");
  EXPECT_EQ(result.sent[2],
            "INSERT INTO T(Name, I, D, C, B, W, M) VALUES( 'c', 16, 16, 0, -1, "
            "0, 0)");
}

TEST_P(ImportTest, MagicKeysAreMadeFree) {
  Create({"CREATE TABLE Magic (MagID SHORT, MagName TEXT(30), Power SHORT)",
          "INSERT INTO Magic(MagID, MagName, Power) VALUES(1, 'Fire', 1)",
          "INSERT INTO Magic(MagID, MagName, Power) VALUES(2, 'FIRE1', 1)",
          "INSERT INTO Magic(MagID, MagName, Power) VALUES(3, 'O''Ne''il', 1)",
          "CREATE UNIQUE INDEX iMagName ON Magic ([MagName])"});
  const Page page = OpenPage("Magic");
  const ImportResult result =
      ImportText(page, "9 fire 5\n9 Ice 5\n9 Ice 5\n9 O'Ne'il 5\n9 O'Ne'il 5", prompter_);
  EXPECT_EQ(result.failed, 0) << prompter_.errors.join(" / ").toStdString();
  EXPECT_EQ(result.sent,
            QStringList({"INSERT INTO Magic(MagID, MagName, Power) VALUES( 9, 'fire2', 5)",
                         "INSERT INTO Magic(MagID, MagName, Power) VALUES( 9, 'Ice', 5)",
                         "INSERT INTO Magic(MagID, MagName, Power) VALUES( 9, 'Ice1', 5)",
                         "INSERT INTO Magic(MagID, MagName, Power) VALUES( 9, 'O''Ne''il1', 5)",
                         "INSERT INTO Magic(MagID, MagName, Power) VALUES( 9, 'O''Ne''il2', 5)"}));
  EXPECT_TRUE(jet::CheckFile(path_.toStdString()).ok());
}

TEST_P(ImportTest, MagicWithOneFieldCannotReadItsKey) {
  Create({"CREATE TABLE Magic (MagName TEXT(30))"});
  const Page page = OpenPage("Magic");
  const uint64_t before = FileHash();
  try {
    ImportText(page, "Fire", prompter_);
    ADD_FAILURE() << "no error";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (1)");
  }
  EXPECT_EQ(FileHash(), before);
}

TEST_P(ImportTest, MonsterOnTheUnindexedFixture) {
  SKIP_WITHOUT("game-unindexed.mdb");
  const Page page = OpenPage("Monster");
  const int before = page.query->RecordCount();
  // Wolf, wolf, WOLF and Wolf0 exist; the engine compares names without case.
  const ImportResult result = ImportText(page, "Wolf 1 2 3 4 5 6 Z\nWolf 1 2 3 4 5 6 Z", prompter_);
  EXPECT_EQ(result.failed, 0) << prompter_.errors.join(" / ").toStdString();
  ASSERT_EQ(result.sent.size(), 2);
  QStringList names;
  for (const QString& row : Rows("Monster").mid(before)) names.append(row.section(u'|', 0, 0));
  EXPECT_EQ(names.size(), 2);
  EXPECT_NE(names[0].compare(names[1], Qt::CaseInsensitive), 0);
  for (const QString& name : names) {
    EXPECT_TRUE(name.startsWith("Wolf"));
    int holders = 0;
    for (const QString& row : Rows("Monster")) {
      if (row.section(u'|', 0, 0).compare(name, Qt::CaseInsensitive) == 0) ++holders;
    }
    EXPECT_EQ(holders, 1) << name.toStdString();
  }
}

TEST_P(ImportTest, CopiedTableImportsBackIntoTheSameColumns) {
  // A name beyond ASCII that the file's text can hold (Access 97 files keep code page 1252).
  const std::string shield = GetParam() == jet::Format::kJet3 ? "Écu" : "盾";
  Create({"CREATE TABLE A (Name TEXT(20), Qty LONG, Price DOUBLE, Cost CURRENCY, Ok YESNO)",
          "CREATE TABLE B (Name TEXT(20), Qty LONG, Price DOUBLE, Cost CURRENCY, Ok YESNO)",
          "INSERT INTO A(Name, Qty, Price, Cost, Ok) VALUES('Sword', 3, 1.5, 2.25, True)",
          "INSERT INTO A(Name, Qty, Price, Cost, Ok) VALUES('" + shield + "', -7, 0.125, 10, False)",
          "INSERT INTO A(Name, Qty, Price, Cost, Ok) VALUES('Bow', 2147483647, -3, 0.5, True)"});
  const Page source = OpenPage("A");
  optest::TextClipboard clipboard;
  CopyTable(source, clipboard);
  const Page target = OpenPage("B");
  const ImportResult result = PasteFromClipboard(target, clipboard, prompter_);
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(Rows("B"), Rows("A"));
}

TEST_P(ImportTest, StdItemsOfTheIndexedFixture) {
  SKIP_WITHOUT("game-indexed.mdb");
  const Page page = OpenPage("StdItems");
  int64_t largest = 0;
  for (int r = 0; r < page.query->RecordCount(); ++r) {
    largest = std::max<int64_t>(largest, page.query->ValueAt(r, 0).toLongLong());
  }
  const ImportResult result = ImportText(page, "0 新剑 1 2 3 4 5 6 7 note\n0 Axe", prompter_);
  EXPECT_EQ(result.failed, 0) << prompter_.errors.join(" / ").toStdString();
  ASSERT_EQ(result.sent.size(), 2);
  EXPECT_TRUE(result.sent[0].startsWith(
      QStringLiteral("INSERT INTO StdItems(Idx, Name, StdMode, Shape, Weight, Looks, Duration, "
                     "Price, Stock, Note) VALUES( %1, '新剑', 1, 2, 3, 4, 5, 6, 7, ")
          .arg(largest + 1)));
  EXPECT_TRUE(result.sent[1].contains(QStringLiteral("VALUES( %1, 'Axe', 0").arg(largest + 2)));
  EXPECT_TRUE(jet::CheckFile(path_.toStdString()).ok());
}

OPS_TEST_FORMATS(ImportTest);

}  // namespace
}  // namespace tableops
