// TFrmMain: the recent-files list, RecentFiles, its submenu "最近打开" and the file MDB.txt
// beside the executable.

#include <QAction>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

#include "shared/share.h"
#include "ui/frm_main.h"

namespace ui {
namespace {

QString RecentFilesPath() { return AppPath + QStringLiteral("MDB.txt"); }

bool IsFile(const QString& path) {
  if (path.isEmpty()) return false;
  const QFileInfo info(path);
  return info.exists() && info.isFile();
}

// Menu captions treat '&' as a mnemonic mark; the path is shown as written.
QString Caption(const QString& path) {
  QString caption = path;
  caption.replace(u'&', QStringLiteral("&&"));
  return caption;
}

}  // namespace

QMenu* TFrmMain::RecentMenu() const { return MainMenu_OpenFile->menu(); }

QAction* TFrmMain::NewRecentItem(const QString& path) {
  auto* item = new QAction(Caption(path), MainMenu);
  item->setToolTip(path);  // the item's hint: its record of the path
  item->setData(path);
  connect(item, &QAction::triggered, this,
          [this, item] { Guarded([&] { RecentFileClick(item); }); });
  return item;
}

void TFrmMain::LoadRecentFiles() {
  recent_encoding_ = TextEncoding{TextEncoding::kLocale, LocaleCharset()};
  const QString path = RecentFilesPath();
  if (QFileInfo::exists(path)) {
    QStringList entries;
    TextEncoding encoding;
    if (ReadRecentFiles(path, LocaleCharset(), &entries, &encoding)) {
      *RecentFiles = entries;
      recent_encoding_ = encoding;
    }
  }
  for (qsizetype i = RecentFiles->size() - 1; i >= 0; --i) {
    if (!IsFile(RecentFiles->at(i))) RecentFiles->removeAt(i);
  }
  QMenu* menu = RecentMenu();
  const QList<QAction*> old_items = menu->actions();
  for (QAction* item : old_items) {
    menu->removeAction(item);
    delete item;
  }
  for (const QString& entry : *RecentFiles) menu->addAction(NewRecentItem(entry));
}

void TFrmMain::SaveRecentFiles() {
  WriteRecentFiles(RecentFilesPath(), *RecentFiles, recent_encoding_);  // failures are silent
}

void TFrmMain::AddRecentFile(const QString& path) {
  QMenu* menu = RecentMenu();
  QAction* found = nullptr;
  for (QAction* item : menu->actions()) {
    if (SamePath(item->data().toString(), path)) {
      found = item;
      break;
    }
  }
  if (found != nullptr) {
    menu->removeAction(found);
  } else {
    found = NewRecentItem(path);
  }
  const QList<QAction*> items = menu->actions();
  menu->insertAction(items.isEmpty() ? nullptr : items.front(), found);

  for (qsizetype i = 0; i < RecentFiles->size(); ++i) {
    if (SamePath(RecentFiles->at(i), path)) {
      RecentFiles->removeAt(i);
      break;
    }
  }
  RecentFiles->prepend(path);
  SaveRecentFiles();
}

void TFrmMain::RecentFileClick(QAction* sender) { OpenDatabaseFile(sender->data().toString()); }

}  // namespace ui
