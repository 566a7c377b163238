// The window edits an Access 97 (Jet3) file as it edits any other: typing in the grid posts, a
// record added and one deleted through the page's query land in the file, a character outside
// the file's code page is refused in the standard error box with the file unchanged, and what the
// window wrote passes the checker and reads back in mdbtools.

#include <QTest>

#include "database/field.h"
#include "database/query.h"
#include "jet/database.h"
#include "support/write_test_util.h"
#include "ui/data_grid.h"
#include "window_fixture.h"
#include "written_file.h"

using ui_test::OpenWindow;

class Jet3EditTest : public QObject {
  Q_OBJECT

 private slots:
  void WindowEditsAnAccess97File() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "access/jackcess-V1997-testV1997.mdb");
    {
      // The game's item table, made inside the Access 97 file by the engine.
      auto db = jet::Database::Open(path.toStdString(), jet::OpenMode::kReadWrite);
      QCOMPARE(db->format(), jet::Format::kJet3);
      db->Execute(
          "CREATE TABLE StdItems (Idx LONG NOT NULL PRIMARY KEY, Name TEXT(40), StdMode BYTE, "
          "Price LONG, Note MEMO)");
      db->Execute("INSERT INTO StdItems (Idx, Name, StdMode, Price, Note) VALUES "
                  "(0, 'Potion', 0, 35, 'heals a little')");
      db->Execute("INSERT INTO StdItems (Idx, Name, StdMode, Price, Note) VALUES "
                  "(1, 'Wooden sword', 5, 100, NULL)");
      db->Execute("INSERT INTO StdItems (Idx, Name, StdMode, Price, Note) VALUES "
                  "(2, 'Bronze sword', 5, 500, 'Bronze')");
    }
    w.window->OpenDatabaseFile(path);
    TTablePage* page = w.ShowPage(QStringLiteral("StdItems"));
    QVERIFY(page != nullptr);
    w.window->show();
    w.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
    database::Query* query = page->Query;
    QCOMPARE(query->RecordCount(), 3);

    // Typing in a cell edits; leaving the row posts.
    ui::DataGrid* grid = page->Grid;
    const int name = query->FieldByName(QStringLiteral("Name"))->Index();
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(1, name));
    QTest::keyClick(grid, 'O');
    QWidget* editor = QApplication::focusWidget();
    QVERIFY(editor != nullptr && editor != grid);
    QTest::keyClicks(editor, QStringLiteral("ak staff"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(query->FieldByName(QStringLiteral("Name"))->DisplayText(),
                 QStringLiteral("Oak staff"));
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(query->State(), database::dsBrowse);

    // A new record and a deleted one.
    query->Append();
    query->FieldByName(QStringLiteral("Idx"))->SetAsInteger(3);
    query->FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("Leather coat é"));
    query->FieldByName(QStringLiteral("Note"))->SetAsString(QString(3000, QChar(u'm')));
    query->Post();
    query->MoveTo(0);
    query->Delete();
    QVERIFY(w.prompter.errors.isEmpty());

    // A Chinese name does not fit the file's code page: refused, shown, nothing written.
    const uint64_t before = testutil::HashFile(path.toStdString());
    query->MoveTo(0);
    query->Edit();
    query->FieldByName(QStringLiteral("Name"))->SetAsString(QStringLiteral("木剑"));
    try {
      query->Post();
      QFAIL("a character outside the code page was stored");
    } catch (const jet::Error& e) {
      QVERIFY2(QString::fromStdString(e.what()).contains(QStringLiteral("Name")), e.what());
    }
    query->Cancel();
    QCOMPARE(testutil::HashFile(path.toStdString()), before);

    query->Close();
    query->Open();
    QCOMPARE(query->RecordCount(), 3);
    QStringList names;
    for (int i = 0; i < query->RecordCount(); ++i) names << query->DisplayTextAt(i, name);
    names.sort();
    QCOMPARE(names, QStringList({QStringLiteral("Bronze sword"), QStringLiteral("Leather coat é"),
                                 QStringLiteral("Oak staff")}));
    w.window.reset();  // closes the file

    const std::string problem = ui_test::WrittenFileProblem(path);
    QVERIFY2(problem.empty(), problem.c_str());
  }
};

QTEST_MAIN(Jet3EditTest)
#include "jet3_edit_test.moc"
