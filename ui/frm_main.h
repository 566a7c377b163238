#pragma once

// TFrmMain: the program's one window. It holds the components in their fixed order and names, and
// one handler per window event, menu item and toolbar button. Handlers are thin: they find the
// current page and call the data-access layer.

#include <QHash>
#include <QMainWindow>
#include <QString>

#include "ui/guard.h"
#include "ui/prompter.h"
#include "ui/recent_files.h"

class QAction;
class QCloseEvent;
class QFileDialog;
class QMenu;
class QMenuBar;
class QTabWidget;
struct TTablePage;

namespace database {
class Connection;
class DataSource;
class Query;
}  // namespace database

namespace ui {

class DataGrid;
class TPanel;
class TRzBitBtn;

class TFrmMain : public QMainWindow {
  Q_OBJECT

 public:
  // The toolbar's delete question and the caption of the program's own message boxes.
  static const QString kDeleteQuestion;
  static const QString kMessageCaption;

  // `prompter` shows every box and the Open dialog; it must outlive the window. `title` is the
  // application title, the caption of the standard error box.
  TFrmMain(Prompter& prompter, const QString& title, QWidget* parent = nullptr);
  ~TFrmMain() override;

  const QString& ApplicationTitle() const { return title_; }
  const HandlerContext& Context() const { return context_; }

  // The current page's record, or null when no page is shown.
  TTablePage* CurrentPage() const;

  // Opens the database file at `path`, replacing any open one (no-op when no file is there).
  void OpenDatabaseFile(const QString& path);
  // Closes the open file, if any, discarding unposted edits, and frees every page.
  void CloseDatabaseFile();

  // Runs `fn` as an event handler: errors go to the standard error box. True when `fn` finished.
  template <typename Fn>
  bool Guarded(Fn&& fn) {
    return RunGuarded(prompter_, this, title_, std::forward<Fn>(fn));
  }

  // The submenu of MainMenu_OpenFile that holds one item per recent file.
  QMenu* RecentMenu() const;

  // Components, in their fixed order of declaration. The window owns them through Qt's parent
  // tree; ADOConnection is a child QObject of the window.
  QTabWidget* PageControl = nullptr;
  TPanel* Panel1 = nullptr;
  TPanel* Panel2 = nullptr;
  database::Connection* ADOConnection = nullptr;
  QMenuBar* MainMenu = nullptr;
  QMenu* MainMenu_File = nullptr;
  QAction* MainMenu_Open = nullptr;
  QFileDialog* OpenDialog = nullptr;
  QAction* MainMenu_OpenFile = nullptr;
  TRzBitBtn* RzBitBtnFirst = nullptr;
  TRzBitBtn* RzBitBtnPrior = nullptr;
  TRzBitBtn* RzBitBtnNext = nullptr;
  TRzBitBtn* RzBitBtnLast = nullptr;
  TRzBitBtn* RzBitBtnInsert = nullptr;
  TRzBitBtn* RzBitBtnDelete = nullptr;
  TRzBitBtn* RzBitBtnEdit = nullptr;
  TRzBitBtn* RzBitBtnPost = nullptr;
  TRzBitBtn* RzBitBtnCancel = nullptr;
  TRzBitBtn* RzBitBtnRefresh = nullptr;
  QMenu* PopupMenu = nullptr;
  QAction* Menu_CopyRow = nullptr;
  QAction* Menu_CopyCol = nullptr;
  QAction* Menu_CopyField = nullptr;
  QAction* Menu_CopyTable = nullptr;
  QAction* N1 = nullptr;
  QAction* Menu_Paste = nullptr;
  QAction* MainMenu_CLoseFile = nullptr;
  QAction* MainMenu_Close = nullptr;
  QAction* Menu_OrderStdItemIdxLine = nullptr;
  QAction* Menu_OrderStdItemIdx = nullptr;

  // Handlers. Each runs inside Guarded() when Qt calls it.
  void FormCreate();
  void FormCloseQuery(bool& may_close);
  void FormDestroy();
  void MainMenu_OpenClick();
  void MainMenu_CLoseFileClick();
  void MainMenu_CloseClick();
  void RzBitBtnFirstClick(QObject* sender);
  void PopupMenuPopup();
  void Menu_CopyRowClick();
  void Menu_CopyColClick();
  void Menu_CopyFieldClick();
  void Menu_CopyTableClick();
  void Menu_PasteClick();
  void Menu_OrderStdItemIdxClick();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateComponents();
  void CreateToolbar();
  void CreateMainMenu();
  void CreatePopupMenu();
  void ApplyWindowLayout();
  void WireHandlers();
  template <typename Handler>
  void Connect(QAction* action, Handler handler);

  void AddTablePage(const QString& path, const QString& table_name);
  void LoadRecentFiles();
  void SaveRecentFiles();
  void AddRecentFile(const QString& path);
  void RecentFileClick(QAction* sender);
  QAction* NewRecentItem(const QString& path);
  // Runs `op` on the current page's table with the wait cursor; nothing without a page.
  template <typename Op>
  void OnCurrentPage(bool busy, Op&& op);
  // The notice about indexes the engine only approximates, once per opened file, when `table`
  // carries one and `wrote` says rows were written.
  void NoticeApproximateIndex(const QString& table, bool wrote);
  void NoticeReadOnly();
  void RepairTableKey(database::DataSource* source, database::Query* query,
                      const QString& table_name);
  void FreeAllPages();

  Prompter& prompter_;
  QString title_;
  HandlerContext context_;
  TextEncoding recent_encoding_;      // the encoding MDB.txt was read in, used to write it
  bool approximate_noticed_ = false;  // the approximate-index notice was shown for this file
  QHash<QString, bool> approximate_;  // tables already looked at, by name
  bool file_checked_ = false;         // the file check ran for the approximate-index notice
};

}  // namespace ui
