// TFrmMain: the handlers of the window's own events and menu commands, opening and closing a
// database file with one page per table, and the toolbar.

#include <QCoreApplication>
#include <QFileInfo>
#include <QTabWidget>
#include <QVBoxLayout>
#include <memory>

#include "database/connection.h"
#include "database/data_source.h"
#include "database/key_repair.h"
#include "database/query.h"
#include "database/quote_name.h"
#include "database/table_indexes.h"
#include "shared/share.h"
#include "tableops/approximate.h"
#include "ui/data_grid.h"
#include "ui/frm_main.h"
#include "ui/table_ops_ports.h"
#include "ui/widgets.h"

namespace ui {

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
  approximate_noticed_ = false;
  approximate_.clear();
  file_checked_ = false;
  NoticeReadOnly();
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
  // A file opened read-only cannot be repaired; the notice at open has said so.
  if (!saved_query && indexes.empty() && !ADOConnection->ReadOnly()) {
    grid->SetDataSource(nullptr);
    RepairTableKey(source, query, table_name);
    grid->SetDataSource(source);
  }
  query->Close();
  query->SQL().Clear();
  query->SQL().Add(QStringLiteral("SELECT * FROM ") + database::QuoteName(table_name));
  query->Open();
  // Edits and deletes in the grid or by the toolbar write through the query.
  connect(query, &database::Query::AfterWrite, this,
          [this, table_name] { NoticeApproximateIndex(table_name, true); });
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

void TFrmMain::RepairTableKey(database::DataSource* source, database::Query* query,
                              const QString& table_name) {
  const BusyCursor busy;
  const bool wrote = database::RepairTableKey(source, query, table_name);
  approximate_.remove(table_name);  // the repair made a new index
  NoticeApproximateIndex(table_name, wrote);
}

void TFrmMain::NoticeApproximateIndex(const QString& table, bool wrote) {
  if (!wrote || approximate_noticed_ || approximate_.contains(table)) return;
  // The sort orders tell at once; characters without established key codes only the file check
  // tells, run once per file after the first write to a table with a text index.
  bool approximate = tableops::HasApproximateIndex(*ADOConnection, table);
  const bool check =
      !approximate && !file_checked_ && tableops::HasTextIndex(*ADOConnection, table);
  approximate_.insert(table, approximate);
  if (!approximate && !check) return;
  if (check) file_checked_ = true;
  const QString path = database::Connection::DataSourceOf(ADOConnection->ConnectionString());
  // Shown once the running operation has finished, never in the middle of a write.
  QMetaObject::invokeMethod(
      this,
      [this, approximate, table, path] {
        if (approximate_noticed_) return;
        bool found = approximate;
        if (!found) {
          const BusyCursor busy;
          found = tableops::ApproximateTables(path).contains(table);
        }
        if (!found) return;
        approximate_noticed_ = true;
        prompter_.Ask(this, kMessageCaption, tableops::kApproximateIndexNotice,
                      QMessageBox::Information, QMessageBox::Ok, QMessageBox::Ok);
      },
      Qt::QueuedConnection);
}

void TFrmMain::NoticeReadOnly() {
  if (!ADOConnection->ReadOnly()) return;
  QString text = QStringLiteral("此数据库只能以只读方式打开，不能修改其中的数据。");
  if (!ADOConnection->ReadOnlyReason().isEmpty()) {
    text += QStringLiteral("\n\n原因：") + ADOConnection->ReadOnlyReason();
  }
  prompter_.Ask(this, kMessageCaption, text, QMessageBox::Information, QMessageBox::Ok,
                QMessageBox::Ok);
}

}  // namespace ui
