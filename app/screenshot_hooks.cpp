#include "app/screenshot_hooks.h"

#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>
#include <QTimer>

#include "shared/table_page.h"
#include "ui/data_grid.h"
#include "ui/frm_main.h"

void ScheduleScreenshotView(ui::TFrmMain& window, const QByteArray& view) {
  if (view == "popup") {
    QTimer::singleShot(1500, &window, [&window] {
      QTabWidget* pages = window.PageControl;
      for (int i = 0; i < pages->count(); ++i) {
        if (pages->tabText(i) == QLatin1String("StdItems")) pages->setCurrentIndex(i);
      }
      const TTablePage* page = window.CurrentPage();
      if (page == nullptr) return;
      QWidget* cells = page->Grid->viewport();
      window.PopupMenu->popup(cells->mapToGlobal(QPoint(160, 80)));
    });
  } else if (view == "recent") {
    QTimer::singleShot(1500, &window, [&window] {
      window.MainMenu->setActiveAction(window.MainMenu_File->menuAction());
      QTimer::singleShot(700, &window, [&window] {
        window.MainMenu_File->setActiveAction(window.MainMenu_OpenFile);
        const QRect item = window.MainMenu_File->actionGeometry(window.MainMenu_OpenFile);
        window.RecentMenu()->popup(window.MainMenu_File->mapToGlobal(item.topRight()));
      });
    });
  }
}
