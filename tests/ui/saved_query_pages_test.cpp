// Saved select queries as pages: each listed query is a page, an updatable one edits its table,
// a read-only one refuses an edit in the standard error box, a declared-parameter query has no
// page, and a query that cannot run fails at its own page.

#include <QTest>

#include "database/connection.h"
#include "database/field.h"
#include "database/query.h"
#include "jet/database.h"
#include "query/query_test_util.h"
#include "ui/data_grid.h"
#include "ui/widgets.h"
#include "window_fixture.h"

using query_test::Row;
using ui_test::OpenWindow;

class SavedQueryPagesTest : public QObject {
  Q_OBJECT

 private:
  static QStringList TabTexts(const ui::TFrmMain& window) {
    QStringList texts;
    for (int i = 0; i < window.PageControl->count(); ++i) texts << window.PageControl->tabText(i);
    return texts;
  }

  // Rows for Table1 and three saved queries: Bees (one table: updatable), Pick (declares a
  // parameter) and, when asked, Needs Key (an undeclared parameter).
  static void Prepare(const QString& path, bool with_failing_query) {
    auto db = jet::Database::Open(path.toStdString(), jet::OpenMode::kReadWrite);
    auto t = [](const char16_t* s) { return jet::Value(std::u16string(s)); };
    db->InsertRow(u"Table1", {t(u"a"), t(u"1"), t(u"x")});
    db->InsertRow(u"Table1", {t(u"b"), t(u"2"), t(u"y")});
    db->InsertRow(u"Table1", {t(u"B"), t(u"3"), t(u"z")});
    query_test::AddSavedQuery(
        *db, u"Bees", 0,
        {Row(1, 1), Row(3, 0), Row(5, {}, u"Table1"), Row(6, 0, {}, {}, u"Table1.col1"),
         Row(6, 0, {}, {}, u"Table1.col2"), Row(8, {}, {}, {}, u"Table1.col1=\"b\"")});
    query_test::AddSavedQuery(*db, u"Pick", 0,
                              {Row(1, 1), Row(2, 10, u"Which"), Row(3, 0), Row(5, {}, u"Table1"),
                               Row(6, 0, {}, {}, u"col2"), Row(8, {}, {}, {}, u"col1=[Which]")});
    if (with_failing_query) {
      query_test::AddSavedQuery(
          *db, u"Needs Key", 0,
          {Row(1, 1), Row(3, 0), Row(5, {}, u"Table1"), Row(6, 0, {}, {}, u"col2"),
           Row(8, {}, {}, {}, u"col1=[Forms]![F]![Key]")});
    }
  }

 private slots:
  void QueriesArePagesAndEditAsAccessAllows() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "access/jackcess-V2000-queryTestV2000.mdb");
    Prepare(path, false);
    w.window->OpenDatabaseFile(path);
    QVERIFY2(w.prompter.errors.isEmpty(), qPrintable(w.prompter.errors.join('\n')));
    QCOMPARE(TabTexts(*w.window),
             QStringList({"Table1", "Table2", "Table3", "Bees", "SelectQuery"}));

    TTablePage* bees = w.ShowPage(QStringLiteral("Bees"));
    QVERIFY(bees != nullptr && bees->Query->Active());
    QCOMPARE(bees->Query->RecordCount(), 2);
    QCOMPARE(bees->Grid->model()->rowCount(), 2);
    bees->Query->Last();
    bees->Query->Edit();
    bees->Query->FieldByName(QStringLiteral("col2"))->SetAsString(QStringLiteral("30"));
    bees->Query->Post();
    TTablePage* table1 = w.ShowPage(QStringLiteral("Table1"));
    table1->Query->Close();
    table1->Query->Open();
    QStringList col2;
    for (int r = 0; r < table1->Query->RecordCount(); ++r) {
      col2 << table1->Query->DisplayTextAt(r, table1->Query->FieldByName("col2")->Index());
    }
    QCOMPARE(col2, QStringList({"1", "2", "30"}));

    TTablePage* select = w.ShowPage(QStringLiteral("SelectQuery"));
    QVERIFY(select->Query->Active());
    QCOMPARE(select->Query->FieldCount(), 6);
    w.window->Guarded([&] { select->Query->Insert(); });
    QCOMPARE(w.prompter.errors.size(), 1);
    QVERIFY2(w.prompter.errors[0].contains(QStringLiteral("not updateable")),
             qPrintable(w.prompter.errors[0]));
    QCOMPARE(select->Query->State(), database::dsBrowse);
  }

  void AQueryThatCannotRunFailsAtItsPage() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "access/jackcess-V2000-queryTestV2000.mdb");
    Prepare(path, true);
    w.prompter.ChooseFile(path);
    w.window->MainMenu_Open->trigger();
    QCOMPARE(w.prompter.errors.size(), 1);
    QVERIFY2(w.prompter.errors[0].contains(
                 QStringLiteral("No value given for one or more required parameters")),
             qPrintable(w.prompter.errors[0]));
    const QStringList tabs = TabTexts(*w.window);
    QVERIFY(tabs.contains(QStringLiteral("Needs Key")));
    QVERIFY(!tabs.contains(QStringLiteral("Pick")));
    for (const TTablePage& page : TablePages) {
      if (page.TabSheet == nullptr) continue;
      const QString caption =
          w.window->PageControl->tabText(w.window->PageControl->indexOf(page.TabSheet));
      if (caption == QStringLiteral("Needs Key")) {
        QVERIFY(!page.Query->Active());
        QCOMPARE(page.Grid->model()->rowCount(), 0);
      }
    }
    QVERIFY(w.window->ADOConnection->Connected());
  }
};

QTEST_MAIN(SavedQueryPagesTest)
#include "saved_query_pages_test.moc"
