// Opening and closing database files: one page per table in the engine's order, Tags, failures
// shown in the standard error box, and closing with unposted edits.

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTest>

#include "database/connection.h"
#include "database/field.h"
#include "database/query.h"
#include "ui/data_grid.h"
#include "ui/grid_model.h"
#include "ui/widgets.h"
#include "window_fixture.h"

using ui_test::OpenWindow;

class FrmMainOpenTest : public QObject {
  Q_OBJECT

 private:
  static QStringList TabTexts(const ui::TFrmMain& window) {
    QStringList texts;
    for (int i = 0; i < window.PageControl->count(); ++i) texts << window.PageControl->tabText(i);
    return texts;
  }

 private slots:
  void PagesFollowTheEngineOrderWithTagEqualIndex() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    w.prompter.ChooseFile(path);
    w.window->MainMenu_Open->trigger();
    QVERIFY2(w.prompter.errors.isEmpty(), qPrintable(w.prompter.errors.join('\n')));
    QCOMPARE(TabTexts(*w.window), QStringList({"Magic", "Monster", "Settings", "StdItems"}));
    QCOMPARE(TablePages.size(), size_t{4});
    const int rows[] = {56, 54, 7, 147};
    for (int i = 0; i < 4; ++i) {
      const TTablePage& page = TablePages[static_cast<size_t>(i)];
      QCOMPARE(w.window->PageControl->widget(i), page.TabSheet);
      QCOMPARE(page.TabSheet->property("Tag").toInt(), i);
      QCOMPARE(page.Grid->parentWidget(), page.TabSheet);
      QCOMPARE(page.Grid->DataSource(), page.Source);
      QCOMPARE(page.Grid->PopupMenu(), w.window->PopupMenu);
      QCOMPARE(page.Query->State(), database::dsBrowse);
      QCOMPARE(page.Query->SQL().Lines(), QStringList({"SELECT * FROM " + TabTexts(*w.window)[i]}));
      QCOMPARE(page.Query->RecordCount(), rows[i]);
      QCOMPARE(page.Query->CurrentIndex(), 0);
      QCOMPARE(page.Grid->model()->rowCount(), rows[i]);
      QCOMPARE(page.Grid->model()->columnCount(), page.Query->FieldCount());
      QCOMPARE(page.Grid->model()->headerData(0, Qt::Horizontal).toString(),
               page.Query->Fields(0)->DisplayName());
    }
    QVERIFY(w.window->ADOConnection->Connected());
    QVERIFY(w.window->ADOConnection->ConnectionString().contains("Data Source=" + path + ";"));
  }

  void TablesWithBlanksInTheirNamesOpen() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "types.mdb");
    w.window->OpenDatabaseFile(path);
    QVERIFY2(w.prompter.errors.isEmpty(), qPrintable(w.prompter.errors.join('\n')));
    QCOMPARE(TabTexts(*w.window),
             QStringList({"AllTypes", "AutoKey", "Customer List", "EmptyTable", "Order Details"}));
    TTablePage* details = w.ShowPage(QStringLiteral("Order Details"));
    QVERIFY(details != nullptr);
    QVERIFY(details->Query->Active());
    QVERIFY(details->Query->RecordCount() > 0);
    QCOMPARE(details->Grid->model()->rowCount(), details->Query->RecordCount());
    const TTablePage* empty = w.ShowPage(QStringLiteral("EmptyTable"));
    QCOMPARE(empty->Query->RecordCount(), 0);
    QVERIFY(empty->Query->Eof());

    // Edits of the table with a blank in its name reach the file like any other.
    details = w.ShowPage(QStringLiteral("Order Details"));
    details->Query->Last();
    details->Query->Edit();
    details->Query->FieldByName(QStringLiteral("Quantity"))->SetAsString(QStringLiteral("777"));
    details->Query->Post();
    QVERIFY2(w.prompter.errors.isEmpty(), qPrintable(w.prompter.errors.join('\n')));
    w.window->OpenDatabaseFile(path);
    details = w.ShowPage(QStringLiteral("Order Details"));
    details->Query->Last();
    QCOMPARE(details->Query->FieldByName(QStringLiteral("Quantity"))->DisplayText(),
             QStringLiteral("777"));
  }

  // A saved select query is a page like a table's (a query that fails at its page is tested
  // with the query pages).
  void SavedSelectQueryIsAPage() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "access/jackcess-V2000-queryTestV2000.mdb");
    w.prompter.ChooseFile(path);
    w.window->MainMenu_Open->trigger();
    QVERIFY2(w.prompter.errors.isEmpty(), qPrintable(w.prompter.errors.join('\n')));
    QCOMPARE(TabTexts(*w.window), QStringList({"Table1", "Table2", "Table3", "SelectQuery"}));
    QCOMPARE(TablePages.size(), size_t{4});
    for (size_t i = 0; i < 4; ++i) QVERIFY(TablePages[i].Query->Active());
    QCOMPARE(TablePages[3].Grid->model()->rowCount(), 0);
    w.window->MainMenu_CLoseFile->trigger();
    QVERIFY(TablePages.empty());
  }

  void MissingPathOrDirectoryChangesNothing() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    w.window->OpenDatabaseFile(path);
    QPointer<QWidget> first_sheet = TablePages[0].TabSheet;
    w.prompter.ChooseFile(w.copies.Path("missing.mdb"));
    w.window->MainMenu_Open->trigger();
    w.window->Guarded([&] { w.window->OpenDatabaseFile(QFileInfo(path).absolutePath()); });
    QVERIFY(w.prompter.errors.isEmpty());
    QCOMPARE(w.window->PageControl->count(), 4);
    QVERIFY(!first_sheet.isNull());
    QVERIFY(w.window->ADOConnection->Connected());
  }

  void NotADatabaseShowsTheErrorAndLeavesNoFileOpen() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    w.window->OpenDatabaseFile(path);
    const QString junk = w.copies.Path("junk.mdb");
    QFile file(junk);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(5000, 'x'));
    file.close();
    w.prompter.ChooseFile(junk);
    w.window->MainMenu_Open->trigger();
    QCOMPARE(w.prompter.errors.size(), 1);
    QCOMPARE(w.prompter.error_captions.value(0), QStringLiteral("Mdbedit"));
    QVERIFY(w.prompter.errors[0].size() > 1);
    QVERIFY(w.prompter.errors[0].back().unicode() <= u'.');
    // The previous file was closed before the failing connect.
    QCOMPARE(w.window->PageControl->count(), 0);
    QVERIFY(TablePages.empty());
    QVERIFY(!w.window->ADOConnection->Connected());
    QVERIFY(w.window->ADOConnection->ConnectionString().contains(junk));
  }

  void CloseFileFreesEveryPageAndIsHarmlessTwice() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    w.window->OpenDatabaseFile(path);
    QPointer<ui::DataGrid> grid = TablePages[1].Grid;
    QPointer<database::DataSource> source = TablePages[1].Source;
    QPointer<database::Query> query = TablePages[1].Query;
    w.window->MainMenu_CLoseFile->trigger();
    QVERIFY(grid.isNull() && source.isNull() && query.isNull());
    QCOMPARE(w.window->PageControl->count(), 0);
    QVERIFY(TablePages.empty());
    QVERIFY(!w.window->ADOConnection->Connected());
    w.window->MainMenu_CLoseFile->trigger();
    QVERIFY(w.prompter.errors.isEmpty());
  }

  void ReopeningRebuildsEveryPageAndDropsUnpostedEdits() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    w.window->OpenDatabaseFile(path);
    TTablePage* settings = w.ShowPage(QStringLiteral("Settings"));
    QPointer<ui::DataGrid> old_grid = settings->Grid;
    const QString before = settings->Query->Fields(1)->DisplayText();
    settings->Query->Edit();
    settings->Query->Fields(1)->SetAsString(QStringLiteral("changed"));
    w.window->OpenDatabaseFile(path);
    QVERIFY(old_grid.isNull());
    QCOMPARE(w.window->PageControl->count(), 4);
    settings = w.ShowPage(QStringLiteral("Settings"));
    QCOMPARE(settings->Query->Fields(1)->DisplayText(), before);
  }

  void ClosingTheWindowDiscardsAnUnpostedEdit() {
    ui_test::FixtureCopies copies;
    UI_TEST_FIXTURE(path, copies, "game-indexed.mdb");
    QString before;
    {
      OpenWindow w;
      w.window->OpenDatabaseFile(path);
      TTablePage* monster = w.ShowPage(QStringLiteral("Monster"));
      before = monster->Query->FieldByName(QStringLiteral("Exp"))->DisplayText();
      monster->Query->Edit();
      monster->Query->FieldByName(QStringLiteral("Exp"))->SetAsString(QStringLiteral("999"));
      w.window->show();
      w.window->MainMenu_Close->trigger();
      QVERIFY(!w.window->isVisible());
      QVERIFY(TablePages.empty());
      QVERIFY(w.prompter.errors.isEmpty());
      QVERIFY(w.prompter.questions.empty());
    }
    OpenWindow again;
    again.window->OpenDatabaseFile(path);
    QCOMPARE(again.ShowPage(QStringLiteral("Monster"))
                 ->Query->FieldByName(QStringLiteral("Exp"))
                 ->DisplayText(),
             before);
  }

  // The time it takes is measured in bench/; here only that a large table opens and stays usable.
  void BigFileOpensAndTheGridStaysLazy() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "big.mdb");
    w.window->OpenDatabaseFile(path);
    QVERIFY(w.prompter.errors.isEmpty());
    TTablePage* items = w.ShowPage(QStringLiteral("StdItems"));
    QCOMPARE(items->Grid->model()->rowCount(), 200000);
    w.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
    items->Query->Last();
    QCOMPARE(items->Grid->currentIndex().row(), 199999);
    QCoreApplication::processEvents();
  }
};

QTEST_MAIN(FrmMainOpenTest)
#include "frm_main_open_test.moc"
