// The ten toolbar buttons: every button from every state of the current page's query, the delete
// question answered Yes and No, and the edges (empty table, ends of the table, no page).

#include <QTest>

#include "database/field.h"
#include "database/query.h"
#include "ui/data_grid.h"
#include "ui/grid_model.h"
#include "ui/widgets.h"
#include "window_fixture.h"

using database::TDataSetState;
using ui_test::OpenWindow;

Q_DECLARE_METATYPE(database::TDataSetState)

namespace {

enum Button { kFirst, kPrior, kNext, kLast, kInsert, kDelete, kEdit, kPost, kCancel, kRefresh };

ui::TRzBitBtn* ButtonByTag(ui::TFrmMain& window, int tag) {
  for (ui::TRzBitBtn* button : window.Panel2->findChildren<ui::TRzBitBtn*>()) {
    if (button->Tag() == tag) return button;
  }
  return nullptr;
}

// The row count the file holds for the page's table, read through a fresh query.
int StoredRows(TTablePage* page) {
  page->Query->Close();
  page->Query->Open();
  return page->Query->RecordCount();
}

}  // namespace

class ToolbarTest : public QObject {
  Q_OBJECT

 private slots:
  // From each of dsBrowse, dsEdit (modified) and dsInsert (unmodified), one click of each button
  // on the 20-row AllTypes table: the state after it and the rows then in the file.
  void EveryButtonFromEveryState_data() {
    QTest::addColumn<int>("start");  // 0 browse, 1 edit, 2 insert
    QTest::addColumn<int>("tag");
    QTest::addColumn<TDataSetState>("state");
    QTest::addColumn<int>("rows_held");   // rows the query holds afterwards
    QTest::addColumn<int>("rows_saved");  // rows in the file afterwards
    using database::dsBrowse;
    using database::dsEdit;
    using database::dsInsert;
    const char* starts[] = {"browse", "edit", "insert"};
    struct Row {
      int tag;
      TDataSetState s[3];
      int held[3];
      int saved[3];
    };
    const Row rows[] = {
        {kFirst, {dsBrowse, dsBrowse, dsBrowse}, {20, 20, 20}, {20, 20, 20}},
        {kPrior, {dsBrowse, dsBrowse, dsBrowse}, {20, 20, 20}, {20, 20, 20}},
        {kNext, {dsBrowse, dsBrowse, dsBrowse}, {20, 20, 20}, {20, 20, 20}},
        {kLast, {dsBrowse, dsBrowse, dsBrowse}, {20, 20, 20}, {20, 20, 20}},
        {kInsert, {dsInsert, dsInsert, dsInsert}, {21, 21, 21}, {20, 20, 20}},
        {kDelete, {dsBrowse, dsBrowse, dsBrowse}, {19, 19, 20}, {19, 19, 20}},
        {kEdit, {dsEdit, dsEdit, dsInsert}, {20, 20, 21}, {20, 20, 20}},
        {kPost, {dsBrowse, dsBrowse, dsBrowse}, {20, 20, 21}, {20, 20, 21}},
        {kCancel, {dsBrowse, dsBrowse, dsBrowse}, {20, 20, 20}, {20, 20, 20}},
        {kRefresh, {dsBrowse, dsBrowse, dsBrowse}, {20, 20, 20}, {20, 20, 20}},
    };
    for (const Row& row : rows) {
      for (int start = 0; start < 3; ++start) {
        QTest::addRow("tag %d from %s", row.tag, starts[start])
            << start << row.tag << row.s[start] << row.held[start] << row.saved[start];
      }
    }
  }
  void EveryButtonFromEveryState() {
    QFETCH(int, start);
    QFETCH(int, tag);
    QFETCH(TDataSetState, state);
    QFETCH(int, rows_held);
    QFETCH(int, rows_saved);
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "types.mdb");
    w.window->OpenDatabaseFile(path);
    TTablePage* page = w.ShowPage(QStringLiteral("AllTypes"));
    QVERIFY(page != nullptr);
    database::Query* query = page->Query;
    QCOMPARE(query->RecordCount(), 20);
    query->MoveTo(3);
    if (start == 1) {
      query->Edit();
      database::Field* row_no = query->FieldByName(QStringLiteral("RowNo"));
      row_no->SetAsInteger(row_no->AsInteger());  // same value, still a modification
    } else if (start == 2) {
      query->Insert();
    }
    if (tag == kDelete) w.prompter.Answer(QMessageBox::Yes);
    ButtonByTag(*w.window, tag)->click();
    QVERIFY2(w.prompter.errors.isEmpty(), qPrintable(w.prompter.errors.join('\n')));
    QCOMPARE(query->State(), state);
    QCOMPARE(query->RecordCount(), rows_held);
    QCOMPARE(page->Grid->model()->rowCount(), rows_held);
    if (tag == kRefresh) QCOMPARE(query->CurrentIndex(), 0);
    query->Cancel();
    QCOMPARE(StoredRows(page), rows_saved);
  }

  void MovesAndTheirEnds() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    w.window->OpenDatabaseFile(path);
    database::Query* query = w.ShowPage(QStringLiteral("Settings"))->Query;
    ButtonByTag(*w.window, kPrior)->click();
    QCOMPARE(query->CurrentIndex(), 0);
    QVERIFY(query->Bof());
    ButtonByTag(*w.window, kNext)->click();
    ButtonByTag(*w.window, kNext)->click();
    QCOMPARE(query->CurrentIndex(), 2);
    ButtonByTag(*w.window, kLast)->click();
    QCOMPARE(query->CurrentIndex(), 6);
    ButtonByTag(*w.window, kNext)->click();
    QCOMPARE(query->CurrentIndex(), 6);
    QVERIFY(query->Eof());
    ButtonByTag(*w.window, kFirst)->click();
    QCOMPARE(query->CurrentIndex(), 0);
    // The grid follows the cursor.
    ButtonByTag(*w.window, kLast)->click();
    QCOMPARE(TablePages[2].Grid->currentIndex().row(), 6);
  }

  void DeleteQuestionAnsweredNoThenYes() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "types.mdb");
    w.window->OpenDatabaseFile(path);
    TTablePage* page = w.ShowPage(QStringLiteral("AllTypes"));
    database::Query* query = page->Query;
    query->MoveTo(5);
    const QString row_no = query->FieldByName(QStringLiteral("RowNo"))->DisplayText();
    w.prompter.Answer(QMessageBox::No);
    ButtonByTag(*w.window, kDelete)->click();
    QCOMPARE(w.prompter.questions.size(), size_t{1});
    const auto& question = w.prompter.questions[0];
    QCOMPARE(question.text, QStringLiteral("是否确认删除？"));
    QCOMPARE(question.caption, QStringLiteral("提示信息"));
    QCOMPARE(question.icon, QMessageBox::Question);
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.default_button, QMessageBox::Yes);
    QCOMPARE(query->RecordCount(), 20);
    QCOMPARE(query->CurrentIndex(), 5);
    QCOMPARE(query->State(), database::dsBrowse);

    w.prompter.Answer(QMessageBox::Yes);
    ButtonByTag(*w.window, kDelete)->click();
    QVERIFY2(w.prompter.errors.isEmpty(), qPrintable(w.prompter.errors.join('\n')));
    QCOMPARE(query->RecordCount(), 19);
    QCOMPARE(page->Grid->model()->rowCount(), 19);
    ButtonByTag(*w.window, kRefresh)->click();
    QCOMPARE(query->RecordCount(), 19);
    for (query->First(); !query->Eof(); query->Next()) {
      QVERIFY(query->FieldByName(QStringLiteral("RowNo"))->DisplayText() != row_no);
    }
    QCOMPARE(w.prompter.unscripted_questions, 0);
  }

  void PostWritesAndCancelDiscards() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "types.mdb");
    w.window->OpenDatabaseFile(path);
    TTablePage* page = w.ShowPage(QStringLiteral("AllTypes"));
    database::Query* query = page->Query;
    database::Field* text = query->FieldByName(QStringLiteral("Txt"));
    query->MoveTo(1);
    const QString original = text->DisplayText();
    ButtonByTag(*w.window, kEdit)->click();
    QCOMPARE(query->State(), database::dsEdit);
    QCOMPARE(page->Grid->model()->headerData(1, Qt::Vertical).toString(), ui::GridModel::kEditMark);
    text->SetAsString(QStringLiteral("discarded"));
    ButtonByTag(*w.window, kCancel)->click();
    QCOMPARE(text->DisplayText(), original);
    ButtonByTag(*w.window, kEdit)->click();
    text->SetAsString(QStringLiteral("posted"));
    ButtonByTag(*w.window, kPost)->click();
    QVERIFY2(w.prompter.errors.isEmpty(), qPrintable(w.prompter.errors.join('\n')));
    QCOMPARE(query->State(), database::dsBrowse);
    ButtonByTag(*w.window, kPost)->click();  // nothing pending: nothing happens
    ButtonByTag(*w.window, kCancel)->click();
    ButtonByTag(*w.window, kRefresh)->click();
    query->MoveTo(1);
    QCOMPARE(query->FieldByName(QStringLiteral("Txt"))->DisplayText(), QStringLiteral("posted"));
    QVERIFY(w.prompter.errors.isEmpty());
  }

  // Edit without a change, then Next: nothing is written; with a change, Next writes it.
  void NextSettlesTheEdit() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "types.mdb");
    w.window->OpenDatabaseFile(path);
    database::Query* query = w.ShowPage(QStringLiteral("AllTypes"))->Query;
    query->MoveTo(2);
    ButtonByTag(*w.window, kEdit)->click();
    ButtonByTag(*w.window, kNext)->click();
    QCOMPARE(query->State(), database::dsBrowse);
    QCOMPARE(query->CurrentIndex(), 3);
    ButtonByTag(*w.window, kEdit)->click();
    query->FieldByName(QStringLiteral("Txt"))->SetAsString(QStringLiteral("via next"));
    ButtonByTag(*w.window, kNext)->click();
    QVERIFY2(w.prompter.errors.isEmpty(), qPrintable(w.prompter.errors.join('\n')));
    QCOMPARE(query->CurrentIndex(), 4);
    ButtonByTag(*w.window, kRefresh)->click();
    QCOMPARE(query->DisplayTextAt(3, query->FieldByName(QStringLiteral("Txt"))->Index()),
             QStringLiteral("via next"));
  }

  void RefreshWhileEditingShowsTheFirstRecordUnchanged() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    w.window->OpenDatabaseFile(path);
    database::Query* query = w.ShowPage(QStringLiteral("Settings"))->Query;
    query->MoveTo(4);
    const QString original = query->FieldByName(QStringLiteral("Value"))->DisplayText();
    ButtonByTag(*w.window, kEdit)->click();
    query->FieldByName(QStringLiteral("Value"))->SetAsString(QStringLiteral("lost"));
    ButtonByTag(*w.window, kRefresh)->click();
    QCOMPARE(query->State(), database::dsBrowse);
    QCOMPARE(query->CurrentIndex(), 0);
    query->MoveTo(4);
    QCOMPARE(query->FieldByName(QStringLiteral("Value"))->DisplayText(), original);
  }

  void EmptyTable() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "types.mdb");
    w.window->OpenDatabaseFile(path);
    TTablePage* page = w.ShowPage(QStringLiteral("EmptyTable"));
    database::Query* query = page->Query;
    w.prompter.Answer(QMessageBox::Yes);
    ButtonByTag(*w.window, kDelete)->click();
    QCOMPARE(w.prompter.errors,
             QStringList({"Cannot perform this operation on an empty dataset."}));
    QCOMPARE(w.prompter.error_captions, QStringList({"Mdbedit"}));
    ButtonByTag(*w.window, kEdit)->click();  // starts a new record, as insert does
    QCOMPARE(query->State(), database::dsInsert);
    QCOMPARE(page->Grid->model()->rowCount(), 1);
    QCOMPARE(page->Grid->model()->headerData(0, Qt::Vertical).toString(),
             ui::GridModel::kInsertMark);
    ButtonByTag(*w.window, kEdit)->click();
    QCOMPARE(query->State(), database::dsInsert);
    QCOMPARE(query->RecordCount(), 1);
    w.prompter.Answer(QMessageBox::Yes);
    ButtonByTag(*w.window, kDelete)->click();  // discards the new record, deletes nothing
    QCOMPARE(query->RecordCount(), 0);
    QCOMPARE(page->Grid->model()->rowCount(), 0);
    QCOMPARE(w.prompter.errors.size(), 1);
  }

  void RejectedPostKeepsTheRecordPending() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    w.window->OpenDatabaseFile(path);
    database::Query* query = w.ShowPage(QStringLiteral("Settings"))->Query;
    query->MoveTo(1);
    const QString taken = query->FieldByName(QStringLiteral("Name"))->DisplayText();
    query->MoveTo(2);
    ButtonByTag(*w.window, kEdit)->click();
    query->FieldByName(QStringLiteral("Name"))->SetAsString(taken);  // duplicate primary key
    ButtonByTag(*w.window, kNext)->click();
    QCOMPARE(w.prompter.errors.size(), 1);
    QCOMPARE(query->State(), database::dsEdit);
    QCOMPARE(query->CurrentIndex(), 2);
    QCOMPARE(query->FieldByName(QStringLiteral("Name"))->DisplayText(), taken);
  }
};

QTEST_MAIN(ToolbarTest)
#include "toolbar_test.moc"
