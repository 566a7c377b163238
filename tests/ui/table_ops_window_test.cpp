// The window's table operations: opening the unindexed fixture repairs it, the context menu's
// renumbering item follows the page, the import and copy go through the system clipboard, and
// the recent-files list with MDB.txt in each of its encodings.

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

#include "database/field.h"
#include "database/query.h"
#include "jet/check.h"
#include "jet/database.h"
#include "ui/data_grid.h"
#include "ui/recent_files.h"
#include "ui/translations.h"
#include "window_fixture.h"

using ui_test::OpenWindow;

class TableOpsWindowTest : public QObject {
  Q_OBJECT

 private:
  static QStringList MenuPaths(const ui::TFrmMain& window) {
    QStringList paths;
    for (const QAction* item : window.RecentMenu()->actions()) paths << item->toolTip();
    return paths;
  }

 private slots:
  void OpeningTheUnindexedFixtureRepairsItsThreeTables() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-unindexed.mdb");
    QTemporaryDir app_dir;
    AppPath = app_dir.path() + '/';
    // Other window tests running beside this one write MDB.txt beside the shared executables: the
    // list this window loaded at creation may hold their files.
    RecentFiles->clear();
    w.window->OpenDatabaseFile(path);
    QVERIFY2(w.prompter.errors.isEmpty(), qPrintable(w.prompter.errors.join('\n')));
    QCOMPARE(TablePages.size(), size_t{4});
    for (const TTablePage& page : TablePages) {
      QCOMPARE(page.Query->State(), database::dsBrowse);
      QVERIFY(page.Query->SQL().Lines().front().startsWith("SELECT * FROM "));
    }
    w.window->CloseDatabaseFile();
    const jet::CheckReport report = jet::CheckFile(QFile::encodeName(path).toStdString());
    QVERIFY(report.ok());
    // The path went to the recent-files list and to MDB.txt, with the mark of a UTF-8 locale.
    QCOMPARE(*RecentFiles, QStringList({path}));
    QCOMPARE(MenuPaths(*w.window), QStringList({path}));
    QFile file(AppPath + "MDB.txt");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("\xEF\xBB\xBF") + path.toUtf8() + "\r\n");
  }

  void RenumberingItemShowsOnStdItemsOnly() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    QTemporaryDir app_dir;
    AppPath = app_dir.path() + '/';
    w.window->OpenDatabaseFile(path);
    const struct {
      const char* caption;
      bool visible;
    } steps[] = {{"StdItems", true}, {"Monster", false}, {"StdItems", true}, {"Magic", false}};
    for (const auto& step : steps) {
      QVERIFY(w.ShowPage(step.caption) != nullptr);
      emit w.window->PopupMenu->aboutToShow();
      QCOMPARE(w.window->Menu_OrderStdItemIdx->isVisible(), step.visible);
      QCOMPARE(w.window->Menu_OrderStdItemIdxLine->isVisible(), step.visible);
    }
    // Renumbering from the menu on StdItems.
    TTablePage* page = w.ShowPage("StdItems");
    w.window->Menu_OrderStdItemIdx->trigger();
    QVERIFY2(w.prompter.errors.isEmpty(), qPrintable(w.prompter.errors.join('\n')));
    for (int r = 0; r < page->Query->RecordCount(); ++r) QCOMPARE(page->Query->ValueAt(r, 0), r);
    QCOMPARE(page->Query->CurrentIndex(), page->Query->RecordCount() - 1);
  }

  void PasteAndCopyUseTheSystemClipboard() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    QTemporaryDir app_dir;
    AppPath = app_dir.path() + '/';
    w.window->OpenDatabaseFile(path);
    TTablePage* page = w.ShowPage("Settings");
    const int before = page->Query->RecordCount();
    QGuiApplication::clipboard()->setText("NewKey;v1\r\nServerName;dup\r\n");
    w.window->Menu_Paste->trigger();
    // The duplicate primary key is refused: the plain dialog, captioned with the title.
    QCOMPARE(w.prompter.questions.size(), size_t{1});
    QCOMPARE(w.prompter.questions[0].text, QString("ExecSQL FAIL"));
    QCOMPARE(w.prompter.questions[0].caption, w.window->ApplicationTitle());
    QCOMPARE(w.prompter.questions[0].icon, QMessageBox::NoIcon);
    QCOMPARE(page->Query->RecordCount(), before + 1);
    QCOMPARE(page->Query->CurrentIndex(), before);
    w.window->Menu_CopyRow->trigger();
    QVERIFY(QGuiApplication::clipboard()->text().startsWith("NewKey;v1;"));
    // A first line that does not fit: the notice.
    QGuiApplication::clipboard()->setText("1 2 3 4 5 6 7 8 9");
    w.window->Menu_Paste->trigger();
    QCOMPARE(w.prompter.questions.size(), size_t{2});
    QCOMPARE(w.prompter.questions[1].text, QString("数据类型不一致无法导入 ！！！"));
    QCOMPARE(w.prompter.questions[1].caption, QString("提示信息"));
    QCOMPARE(w.prompter.questions[1].icon, QMessageBox::Question);
  }

  void ReopeningMovesTheEntryToTheTop() {
    OpenWindow w;
    UI_TEST_FIXTURE(a, w.copies, "game-indexed.mdb");
    UI_TEST_FIXTURE(b, w.copies, "types.mdb");
    QTemporaryDir app_dir;
    AppPath = app_dir.path() + '/';
    w.window->OpenDatabaseFile(a);
    w.window->OpenDatabaseFile(b);
    QCOMPARE(MenuPaths(*w.window), QStringList({b, a}));
    // The same file under another ASCII case of its name is no new entry (if it opens at all).
    w.window->RecentMenu()->actions().at(1)->trigger();
    QCOMPARE(MenuPaths(*w.window), QStringList({a, b}));
    QCOMPARE(*RecentFiles, QStringList({a, b}));
    // A deleted file: choosing its item does nothing and the item stays.
    w.window->CloseDatabaseFile();
    QFile::remove(b);
    w.window->RecentMenu()->actions().at(1)->trigger();
    QCOMPARE(MenuPaths(*w.window), QStringList({a, b}));
    QVERIFY(w.prompter.errors.isEmpty());
  }

  void GridKeysInsertAndAppend() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-indexed.mdb");
    QTemporaryDir app_dir;
    AppPath = app_dir.path() + '/';
    w.window->OpenDatabaseFile(path);
    TTablePage* page = w.ShowPage("Settings");
    ui::DataGrid* grid = page->Grid;
    database::Query* query = page->Query;
    const int count = query->RecordCount();
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Insert);
    QCOMPARE(query->State(), database::dsInsert);
    QCOMPARE(query->CurrentIndex(), 0);
    query->Cancel();
    // Down on the last record appends one; Down again keeps the unchanged new record.
    query->Last();
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(query->State(), database::dsInsert);
    QCOMPARE(query->RecordCount(), count + 1);
    QCOMPARE(query->CurrentIndex(), count);
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(query->RecordCount(), count + 1);
    // Moving away drops it, unchanged.
    QTest::keyClick(grid, Qt::Key_Up);
    QCOMPARE(query->State(), database::dsBrowse);
    QCOMPARE(query->RecordCount(), count);
    // Tab from the last cell of the last record appends and moves to its first cell.
    grid->setCurrentIndex(grid->model()->index(count - 1, grid->model()->columnCount() - 1));
    QTest::keyClick(grid, Qt::Key_Tab);
    QCOMPARE(query->State(), database::dsInsert);
    QCOMPARE(query->CurrentIndex(), count);
    QCOMPARE(grid->currentIndex().column(), 0);
    QVERIFY(w.prompter.errors.isEmpty());
  }

  void ApproximateIndexNoticeOncePerFile() {
    OpenWindow w;
    // Its Access 97 text indexes hold characters of 0x80-0x9F, whose key codes are not known.
    UI_TEST_FIXTURE(path, w.copies, "access/jackcess-V1997-testIndexCodesV1997.mdb");
    QTemporaryDir app_dir;
    AppPath = app_dir.path() + '/';
    w.window->OpenDatabaseFile(path);
    TTablePage* page = w.ShowPage("Table11");
    QVERIFY(page != nullptr);
    for (int round = 0; round < 2; ++round) {
      page->Query->Edit();
      page->Query->FieldByName("data")->SetAsString(QString("z%1").arg(round));
      page->Query->Post();
      QCoreApplication::processEvents();
    }
    QVERIFY2(w.prompter.errors.isEmpty(), qPrintable(w.prompter.errors.join('\n')));
    QCOMPARE(w.prompter.questions.size(), size_t{1});
    QCOMPARE(w.prompter.questions[0].caption, QString("提示信息"));
    QCOMPARE(w.prompter.questions[0].icon, QMessageBox::Information);
    QCOMPARE(
        w.prompter.questions[0].text,
        QString("此数据库的文本索引使用了本程序无法精确维护的排序规则。在 Access 中依赖这些索引"
                "之前，请先执行“压缩和修复数据库”。"));
  }

  void StandardButtonsInChinese() {
    QTranslator translator;
    QVERIFY(ui::InstallQtTranslations(QLocale(QLocale::Chinese, QLocale::China), translator));
    QMessageBox box(QMessageBox::Question, "t", "q",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
    QVERIFY(box.button(QMessageBox::Yes)->text().startsWith(QStringLiteral("是")));
    QVERIFY(box.button(QMessageBox::No)->text().startsWith(QStringLiteral("否")));
    QVERIFY(box.button(QMessageBox::Ok)->text().startsWith(QStringLiteral("确定")));
    QVERIFY(box.button(QMessageBox::Cancel)->text().startsWith(QStringLiteral("取消")));
    QCoreApplication::removeTranslator(&translator);
  }

  void ReadOnlyFileSaysSoAtOpen() {
    OpenWindow w;
    UI_TEST_FIXTURE(path, w.copies, "game-unindexed.mdb");
    QTemporaryDir app_dir;
    AppPath = app_dir.path() + '/';
    // Another writer holds the file.
    const auto writer =
        jet::Database::Open(QFile::encodeName(path).toStdString(), jet::OpenMode::kReadWrite);
    w.window->OpenDatabaseFile(path);
    QVERIFY2(w.prompter.errors.isEmpty(), qPrintable(w.prompter.errors.join('\n')));
    QCOMPARE(w.prompter.questions.size(), size_t{1});
    QCOMPARE(w.prompter.questions[0].caption, QString("提示信息"));
    QVERIFY(w.prompter.questions[0].text.startsWith(QStringLiteral("此数据库只能以只读方式打开")));
    QCOMPARE(TablePages.size(), size_t{4});  // no repair is tried on a file that cannot change
  }

  void RecentFilesFileEncodings() {
    const QStringList entries = {QStringLiteral("/data/游戏.mdb"), "", "/x/a.mdb"};
    using Kind = ui::TextEncoding::Kind;
    const struct {
      ui::TextEncoding encoding;
      QByteArray mark;
    } cases[] = {
        {{Kind::kUtf8, {}}, "\xEF\xBB\xBF"}, {{Kind::kUtf16Le, {}}, "\xFF\xFE"},
        {{Kind::kUtf16Be, {}}, "\xFE\xFF"},  {{Kind::kLocale, "UTF-8"}, "\xEF\xBB\xBF"},
        {{Kind::kLocale, "GB18030"}, ""},
    };
    for (const auto& c : cases) {
      const std::optional<QByteArray> bytes = ui::EncodeRecentFiles(entries, c.encoding);
      QVERIFY(bytes.has_value());
      QVERIFY(bytes->startsWith(c.mark));
      ui::TextEncoding found;
      const auto back = ui::DecodeRecentFiles(*bytes, c.encoding.locale_charset, &found);
      QVERIFY(back.has_value());
      QCOMPARE(*back, entries);
      // A locale file written back carries the mark of a UTF-8 locale, else the same bytes.
      QCOMPARE(*ui::EncodeRecentFiles(*back, found), *bytes);
    }
    // GB18030 bytes of a Chinese path, read in that locale.
    const QByteArray gb("/\xD3\xCE\xCF\xB7.mdb\r\n");
    QCOMPARE(*ui::DecodeRecentFiles(gb, "GB18030", nullptr), QStringList({"/游戏.mdb"}));
    // Line breaks: CR LF, CR, LF; no empty last line.
    QCOMPARE(*ui::DecodeRecentFiles("a\rb\nc\r\n", "UTF-8", nullptr), QStringList({"a", "b", "c"}));
    // A UTF-8 mark followed by bytes that are not UTF-8: unreadable.
    QVERIFY(!ui::DecodeRecentFiles("\xEF\xBB\xBF\xFF\xFE", "UTF-8", nullptr).has_value());
    QVERIFY(ui::SamePath("/A/b.MDB", "/a/B.mdb"));
    QVERIFY(!ui::SamePath(QStringLiteral("/Ä.mdb"), QStringLiteral("/ä.mdb")));
  }
};

QTEST_MAIN(TableOpsWindowTest)
#include "table_ops_window_test.moc"
