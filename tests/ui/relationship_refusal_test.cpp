// The window on a file with enforced relationships: a post that breaks one, typed in the grid, and
// a delete that a relationship restricts, made with Ctrl+Del, are refused in the standard error box
// with Access's message and leave the file unchanged; a delete that cascades takes the related rows
// with it, and the file then passes the checker and reads back in mdbtools.

#include <QTest>

#include "database/field.h"
#include "database/query.h"
#include "support/write_test_util.h"
#include "ui/data_grid.h"
#include "window_fixture.h"
#include "written_file.h"

using ui_test::OpenWindow;

namespace {

// Sets row `row` of `page` current and deletes it with Ctrl+Del, answering the question with Ok.
void DeleteRow(OpenWindow& w, TTablePage* page, int row) {
  page->Grid->setFocus();
  page->Grid->setCurrentIndex(page->Grid->model()->index(row, 0));
  w.prompter.Answer(QMessageBox::Ok);
  QTest::keyClick(page->Grid, Qt::Key_Delete, Qt::ControlModifier);
}

QStringList Column(database::Query* query, const QString& name) {
  QStringList out;
  const int at = query->FieldByName(name)->Index();
  for (int r = 0; r < query->RecordCount(); ++r) out << query->DisplayTextAt(r, at);
  return out;
}

}  // namespace

class RelationshipRefusalTest : public QObject {
  Q_OBJECT

 private slots:
  void RefusalsShowAccessMessagesAndCascadesApply() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "relations.mdb");
    w.window->OpenDatabaseFile(path);
    w.window->show();
    w.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
    const uint64_t original = testutil::HashFile(path.toStdString());

    // An order typed for a customer that does not exist.
    TTablePage* orders = w.ShowPage(QStringLiteral("Orders"));
    QVERIFY(orders != nullptr);
    ui::DataGrid* grid = orders->Grid;
    grid->setFocus();
    grid->setCurrentIndex(
        grid->model()->index(0, orders->Query->FieldByName(QStringLiteral("CustID"))->Index()));
    QTest::keyClick(grid, '9');
    QWidget* editor = QApplication::focusWidget();
    QVERIFY(editor != nullptr && editor != grid);
    QTest::keyClicks(editor, QStringLiteral("99"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(w.prompter.errors.size(), 1);
    // The grid stays on the record that could not be posted, highlight included.
    QTRY_COMPARE(grid->currentIndex().row(), 0);
    QCOMPARE(grid->selectionModel()->selectedIndexes().size(), 1);
    QCOMPARE(grid->selectionModel()->selectedIndexes().front().row(), 0);
    QCOMPARE(orders->Query->CurrentIndex(), 0);
    QCOMPARE(w.prompter.errors[0],
             QStringLiteral("You cannot add or change a record because a related record is "
                            "required in table 'Customers'."));
    orders->Query->Cancel();
    QCOMPARE(testutil::HashFile(path.toStdString()), original);

    // A category that products still use: the relationship has no cascades.
    TTablePage* categories = w.ShowPage(QStringLiteral("Categories"));
    QVERIFY(categories != nullptr);
    DeleteRow(w, categories, 0);
    QCOMPARE(w.prompter.errors.size(), 2);
    QCOMPARE(w.prompter.errors[1],
             QStringLiteral("The record cannot be deleted or changed because table 'Products' "
                            "includes related records."));
    QCOMPARE(categories->Query->RecordCount(), 3);
    QCOMPARE(testutil::HashFile(path.toStdString()), original);

    // Customer 1's orders and their lines go with it.
    TTablePage* customers = w.ShowPage(QStringLiteral("Customers"));
    QVERIFY(customers != nullptr);
    DeleteRow(w, customers, 0);
    QVERIFY2(w.prompter.errors.size() == 2, qPrintable(w.prompter.errors.join('\n')));
    QCOMPARE(customers->Query->RecordCount(), 3);
    orders = w.ShowPage(QStringLiteral("Orders"));
    orders->Query->Close();
    orders->Query->Open();
    QVERIFY(!Column(orders->Query, QStringLiteral("CustID")).contains(QStringLiteral("1")));
    QVERIFY(Column(orders->Query, QStringLiteral("OrderID")).contains(QStringLiteral("12")));
    w.window.reset();  // closes the file

    const std::string problem = ui_test::WrittenFileProblem(path);
    QVERIFY2(problem.empty(), problem.c_str());
  }
};

QTEST_MAIN(RelationshipRefusalTest)
#include "relationship_refusal_test.moc"
