// DataGrid and its model over a real query: the model contract under every change, the record
// indicator, the current row in both directions, editing in place, moved columns, Ctrl+Delete,
// dropping an unchanged new record on leaving the grid, and the context menu.

#include "ui/data_grid.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QMenu>
#include <QTest>

#include "database/data_source.h"
#include "database/field.h"
#include "database/query.h"
#include "ui/grid_model.h"
#include "ui/widgets.h"
#include "window_fixture.h"

using ui_test::OpenWindow;

class DataGridTest : public QObject {
  Q_OBJECT

 private:
  // Opens a copy of game-indexed.mdb, shows the window and returns the page of `table`.
  static TTablePage* OpenShown(OpenWindow& w, const QString& path, const QString& table) {
    w.window->OpenDatabaseFile(path);
    TTablePage* page = w.ShowPage(table);
    w.window->show();
    w.window->activateWindow();
    if (!QTest::qWaitForWindowActive(w.window.get())) return nullptr;
    return page;
  }

 private slots:
  void ModelKeepsItsContractThroughEveryChange() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "types.mdb");
    w.window->OpenDatabaseFile(path);
    TTablePage* page = w.ShowPage(QStringLiteral("AllTypes"));
    QAbstractItemModelTester tester(page->Grid->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    database::Query* query = page->Query;
    query->MoveTo(10);
    query->Insert();
    QCOMPARE(page->Grid->model()->rowCount(), 21);
    query->Cancel();
    QCOMPARE(page->Grid->model()->rowCount(), 20);
    query->Edit();
    query->FieldByName(QStringLiteral("RowNo"))->SetAsInteger(4242);
    QCOMPARE(page->Grid->model()->index(10, 0).data().toString(), QStringLiteral("4242"));
    query->Post();
    query->Delete();
    QCOMPARE(page->Grid->model()->rowCount(), 19);
    query->Close();
    QCOMPARE(page->Grid->model()->rowCount(), 0);
    QCOMPARE(page->Grid->model()->columnCount(), 0);
    query->Open();
    QCOMPARE(page->Grid->model()->rowCount(), 19);
    page->Grid->SetDataSource(nullptr);
    QCOMPARE(page->Grid->model()->rowCount(), 0);
    page->Grid->SetDataSource(page->Source);
    QCOMPARE(page->Grid->model()->rowCount(), 19);
    // Cells read the query's display texts; roles other than display and edit give nothing.
    const QModelIndex cell = page->Grid->model()->index(0, 0);
    QCOMPARE(cell.data().toString(), query->DisplayTextAt(0, 0));
    QVERIFY(!cell.data(Qt::DecorationRole).isValid());
    // Numbers are right-aligned, texts left-aligned (RowNo is a number, Txt a text).
    QVERIFY(cell.data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
    const int txt = query->FieldByName(QStringLiteral("Txt"))->Index();
    QVERIFY(page->Grid->model()->index(0, txt).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
            Qt::AlignLeft);
    QVERIFY(!page->Grid->model()->index(60, 0).isValid());
  }

  void IndicatorShowsTheCurrentRecordAndItsState() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    w.window->OpenDatabaseFile(path);
    TTablePage* page = w.ShowPage(QStringLiteral("Settings"));
    const QAbstractItemModel* model = page->Grid->model();
    auto mark = [&](int row) { return model->headerData(row, Qt::Vertical).toString(); };
    QCOMPARE(mark(0), ui::GridModel::kBrowseMark);
    QVERIFY(mark(1).isEmpty());
    page->Query->MoveTo(3);
    QVERIFY(mark(0).isEmpty());
    QCOMPARE(mark(3), ui::GridModel::kBrowseMark);
    page->Query->Edit();
    QCOMPARE(mark(3), ui::GridModel::kEditMark);
    page->Query->Insert();  // settles the unchanged edit, then a new record above
    QCOMPARE(mark(3), ui::GridModel::kInsertMark);
    QVERIFY(mark(4).isEmpty());
  }

  void CurrentRowMovesBothWays() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    TTablePage* page = OpenShown(w, path, QStringLiteral("StdItems"));
    QVERIFY(page != nullptr);
    page->Query->Last();
    QCOMPARE(page->Grid->currentIndex().row(), 146);
    page->Grid->setCurrentIndex(page->Grid->model()->index(20, 2));
    QCOMPARE(page->Query->CurrentIndex(), 20);
    page->Grid->setFocus();
    QTest::keyClick(page->Grid, Qt::Key_Down);
    QCOMPARE(page->Query->CurrentIndex(), 21);
    QCOMPARE(page->Grid->currentIndex().column(), 2);
  }

  void TypingEditsInPlaceAndLeavingTheRowPosts() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "types.mdb");
    TTablePage* page = OpenShown(w, path, QStringLiteral("AllTypes"));
    QVERIFY(page != nullptr);
    ui::DataGrid* grid = page->Grid;
    const int value_column = page->Query->FieldByName(QStringLiteral("Txt"))->Index();
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(2, value_column));
    QTest::keyClick(grid, 't');  // the first key opens the editor and goes into it
    QCOMPARE(page->Query->State(), database::dsEdit);
    QCOMPARE(page->Query->CurrentIndex(), 2);
    QWidget* editor = QApplication::focusWidget();
    QVERIFY(editor != nullptr && editor != grid);
    QTest::keyClicks(editor, QStringLiteral("yped"));
    QTest::keyClick(editor, Qt::Key_Return);  // the delegate commits from the event queue
    QTRY_COMPARE(page->Query->FieldByName(QStringLiteral("Txt"))->DisplayText(),
                 QStringLiteral("typed"));
    QVERIFY(page->Query->Modified());
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(page->Query->State(), database::dsBrowse);
    QCOMPARE(page->Query->CurrentIndex(), 3);
    page->Query->Close();
    page->Query->Open();
    QCOMPARE(page->Query->DisplayTextAt(2, value_column), QStringLiteral("typed"));
    QVERIFY(w.prompter.errors.isEmpty());
  }

  void EscapeCancelsAPendingEdit() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    TTablePage* page = OpenShown(w, path, QStringLiteral("Settings"));
    QVERIFY(page != nullptr);
    const QString before = page->Query->DisplayTextAt(0, 1);
    page->Query->Edit();
    page->Query->Fields(1)->SetAsString(QStringLiteral("gone"));
    page->Grid->setFocus();
    QTest::keyClick(page->Grid, Qt::Key_Escape);
    QCOMPARE(page->Query->State(), database::dsBrowse);
    QCOMPARE(page->Query->DisplayTextAt(0, 1), before);
  }

  void MovedColumnsGiveTheVisibleFieldOrder() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    w.window->OpenDatabaseFile(path);
    ui::DataGrid* grid = w.ShowPage(QStringLiteral("Settings"))->Grid;
    QCOMPARE(grid->VisibleFieldOrder(), std::vector<int>({0, 1, 2}));
    QVERIFY(grid->horizontalHeader()->sectionsMovable());
    QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    grid->horizontalHeader()->moveSection(2, 0);
    QCOMPARE(grid->VisibleFieldOrder(), std::vector<int>({2, 0, 1}));
    grid->setCurrentIndex(grid->model()->index(0, 1));
    QCOMPARE(grid->SelectedField(), 1);
    QCOMPARE(grid->SelectedIndex(), 2);
    QVERIFY(grid->showGrid());
    QVERIFY(grid->tabKeyNavigation());
  }

  void CtrlDeleteAsksAndDeletesOnlyWhenConfirmed() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "types.mdb");
    TTablePage* page = OpenShown(w, path, QStringLiteral("AllTypes"));
    QVERIFY(page != nullptr);
    page->Grid->setFocus();
    w.prompter.Answer(QMessageBox::Cancel);
    QTest::keyClick(page->Grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(page->Query->RecordCount(), 20);
    QCOMPARE(w.prompter.questions.size(), size_t{1});
    QCOMPARE(w.prompter.questions[0].text, QStringLiteral("Delete record?"));
    QCOMPARE(w.prompter.questions[0].icon, QMessageBox::Question);
    QCOMPARE(w.prompter.questions[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    w.prompter.Answer(QMessageBox::Ok);
    QTest::keyClick(page->Grid, Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY2(w.prompter.errors.isEmpty(), qPrintable(w.prompter.errors.join('\n')));
    QCOMPARE(page->Query->RecordCount(), 19);
    QCOMPARE(page->Grid->model()->rowCount(), 19);
  }

  void UnchangedNewRecordIsDroppedWhenTheGridLosesFocus() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    TTablePage* page = OpenShown(w, path, QStringLiteral("Magic"));
    QVERIFY(page != nullptr);
    page->Grid->setFocus();
    QTRY_VERIFY(page->Grid->hasFocus());
    page->Query->Insert();
    QCOMPARE(page->Grid->model()->rowCount(), 57);
    w.window->RzBitBtnFirst->setFocus(Qt::TabFocusReason);
    QCOMPARE(page->Query->State(), database::dsBrowse);
    QCOMPARE(page->Query->RecordCount(), 56);
    // A changed one stays.
    page->Grid->setFocus();
    page->Query->Insert();
    page->Query->FieldByName(QStringLiteral("MagName"))->SetAsString(QStringLiteral("新法术"));
    w.window->RzBitBtnFirst->setFocus(Qt::TabFocusReason);
    QCOMPARE(page->Query->State(), database::dsInsert);
  }

  void ContextMenuIsTheWindowsPopupMenu() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    TTablePage* page = OpenShown(w, path, QStringLiteral("Magic"));
    QVERIFY(page != nullptr);
    QCOMPARE(page->Grid->contextMenuPolicy(), Qt::CustomContextMenu);
    // A right click on another row leaves the current record where it is.
    const QRect cell = page->Grid->visualRect(page->Grid->model()->index(3, 1));
    QTest::mouseClick(page->Grid->viewport(), Qt::RightButton, {}, cell.center());
    QCOMPARE(page->Query->CurrentIndex(), 0);
    QTest::mouseClick(page->Grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(page->Query->CurrentIndex(), 3);
    emit page->Grid->customContextMenuRequested(QPoint(20, 20));
    QTRY_VERIFY(w.window->PopupMenu->isVisible());
    w.window->PopupMenu->close();
  }
};

QTEST_MAIN(DataGridTest)
#include "data_grid_test.moc"
