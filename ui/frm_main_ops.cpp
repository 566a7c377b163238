// TFrmMain: the handlers of the window's own events and menu commands, opening and closing a
// database file with one page per table, and the toolbar.

#include <QCoreApplication>
#include <QFileInfo>
#include <QTabWidget>
#include <QVBoxLayout>
#include <functional>
#include <memory>

#include "database/connection.h"
#include "database/data_source.h"
#include "database/query.h"
#include "database/quote_name.h"
#include "database/table_indexes.h"
#include "shared/share.h"
#include "ui/data_grid.h"
#include "ui/frm_main.h"
#include "ui/widgets.h"

namespace ui {
namespace {

// What the toolbar button with `tag` does to the page's query.
void RunToolbarAction(int tag, database::Query& query, const std::function<bool()>& confirm) {
  switch (tag) {
    case 0:
      query.First();
      break;
    case 1:
      query.Prior();
      break;
    case 2:
      query.Next();
      break;
    case 3:
      query.Last();
      break;
    case 4:
      query.Insert();
      break;
    case 5:
      if (confirm()) query.Delete();
      break;
    case 6:
      query.Edit();
      break;
    case 7: {
      // Post only while something is pending; otherwise nothing is written or reported.
      const database::TDataSetState state = query.State();
      if (state == database::dsEdit || state == database::dsInsert || state == database::dsSetKey) {
        query.Post();
      }
      break;
    }
    case 8:
      query.Cancel();
      break;
    case 9:
      query.Close();
      query.Open();
      break;
    default:
      break;
  }
}

}  // namespace

const QString TFrmMain::kDeleteQuestion = QStringLiteral("是否确认删除？");
const QString TFrmMain::kMessageCaption = QStringLiteral("提示信息");

void TFrmMain::FormCreate() {
  const QString exe_dir = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath();
  AppPath = exe_dir.endsWith(u'/') ? exe_dir : exe_dir + u'/';
  RecentFiles = std::make_unique<QStringList>();
  TablePages.clear();
  LoadRecentFiles();
}

void TFrmMain::FormCloseQuery(bool& may_close) {
  CloseDatabaseFile();
  may_close = true;
}

void TFrmMain::FormDestroy() { RecentFiles.reset(); }

void TFrmMain::MainMenu_OpenClick() {
  QString path;
  if (prompter_.RunOpenDialog(OpenDialog, &path)) OpenDatabaseFile(path);
}

void TFrmMain::MainMenu_CLoseFileClick() { CloseDatabaseFile(); }

void TFrmMain::MainMenu_CloseClick() { close(); }

TTablePage* TFrmMain::CurrentPage() const {
  const auto* sheet = qobject_cast<const TTabSheet*>(PageControl->currentWidget());
  if (sheet == nullptr) return nullptr;
  const int tag = sheet->Tag();
  if (tag < 0 || static_cast<size_t>(tag) >= TablePages.size()) return nullptr;
  return &TablePages[static_cast<size_t>(tag)];
}

void TFrmMain::OpenDatabaseFile(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists() || !info.isFile()) return;  // follows symbolic links; no directories
  CloseDatabaseFile();
  QString connection_string = ConnectionTemplate;
  connection_string.replace(connection_string.indexOf(QLatin1String("%s")), 2, path);
  ADOConnection->SetConnectionString(connection_string);
  ADOConnection->Open();
  ADOConnection->SetKeepConnection(true);
  QStringList names;
  ADOConnection->GetTableNames(names);
  for (const QString& name : names) AddTablePage(path, name);
  AddRecentFile(path);
}

void TFrmMain::AddTablePage(const QString& path, const QString& table_name) {
  TablePages.emplace_back();
  const size_t index = TablePages.size() - 1;
  auto* sheet = new TTabSheet(PageControl);
  sheet->SetTag(static_cast<int>(index));
  PageControl->addTab(sheet, table_name);
  TablePages[index].TabSheet = sheet;
  auto* grid = new DataGrid(context_, sheet);
  auto* fill = new QVBoxLayout(sheet);
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(grid);
  grid->SetPopupMenu(PopupMenu);
  TablePages[index].Grid = grid;
  auto* source = new database::DataSource(sheet);
  TablePages[index].Source = source;
  database::Query* query = source->AdoptDataSet(std::make_unique<database::Query>());
  TablePages[index].Query = query;
  grid->SetDataSource(source);
  query->SetConnection(ADOConnection);

  // A saved query's page has no indexes and no key to repair.
  const bool saved_query = ADOConnection->IsSavedQuery(table_name);
  database::IndexList indexes;
  if (!saved_query) database::ReadTableIndexes(path, table_name, indexes);
  if (!saved_query && indexes.empty()) {
    grid->SetDataSource(nullptr);
    RepairTableKey(source, query, table_name);
    grid->SetDataSource(source);
  }
  query->Close();
  query->SQL().Clear();
  query->SQL().Add(QStringLiteral("SELECT * FROM ") + database::QuoteName(table_name));
  query->Open();
}

void TFrmMain::CloseDatabaseFile() {
  ADOConnection->Close();
  FreeAllPages();
}

void TFrmMain::FreeAllPages() {
  // The data source owns its query, so freeing the source frees the query with it; the grid goes
  // first so that it never shows a query that is being destroyed.
  for (TTablePage& page : TablePages) {
    delete page.Grid;
    delete page.Source;
    delete page.TabSheet;  // removes its tab from PageControl
  }
  TablePages.clear();
}

void TFrmMain::RzBitBtnFirstClick(QObject* sender) {
  const TTablePage* page = CurrentPage();
  const auto* button = qobject_cast<const TRzBitBtn*>(sender);
  if (page == nullptr || button == nullptr) return;
  const auto confirm_delete = [this] {
    return prompter_.Ask(this, kMessageCaption, kDeleteQuestion, QMessageBox::Question,
                         QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
  };
  RunToolbarAction(button->Tag(), *page->Query, confirm_delete);
}

// Menu items whose work lives in the table operations; they are wired and run guarded, and do
// nothing until those operations are connected.
void TFrmMain::PopupMenuPopup() {}
void TFrmMain::Menu_CopyRowClick() {}
void TFrmMain::Menu_CopyColClick() {}
void TFrmMain::Menu_CopyFieldClick() {}
void TFrmMain::Menu_CopyTableClick() {}
void TFrmMain::Menu_PasteClick() {}
void TFrmMain::Menu_OrderStdItemIdxClick() {}

// The recent-files list and the key repair are connected later.
void TFrmMain::LoadRecentFiles() {}
void TFrmMain::AddRecentFile(const QString& /*path*/) {}
void TFrmMain::RepairTableKey(database::DataSource* /*source*/, database::Query* /*query*/,
                              const QString& /*table_name*/) {}

}  // namespace ui
