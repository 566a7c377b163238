#pragma once

// What the screenshot check asks the window to show once it is up: MDBEDIT_SHOW=popup opens the
// grids' context menu on the StdItems page, MDBEDIT_SHOW=recent the submenu "最近打开". Nothing
// for any other value; the program itself never sets the variable.

#include <QByteArray>

namespace ui {
class TFrmMain;
}

void ScheduleScreenshotView(ui::TFrmMain& window, const QByteArray& view);
