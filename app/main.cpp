// mdbedit: one window and the event loop. The program reads no command line.

#include <QApplication>
#include <QLocale>
#include <QTranslator>

#include "app/screenshot_hooks.h"
#include "ui/frm_main.h"
#include "ui/guard.h"
#include "ui/prompter.h"
#include "ui/translations.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  // Qt's own texts (standard buttons, the file dialog) in the user's language.
  QTranslator qt_texts;
  ui::InstallQtTranslations(QLocale(), qt_texts);
  const QString title = ui::ApplicationTitle(QCoreApplication::applicationFilePath());
  ui::QtPrompter prompter;
  ui::TFrmMain window(prompter, title);
  // Only the screenshot check sets this: it opens a file without the dialog.
  const QByteArray test_open = qgetenv("MDBEDIT_OPEN");
  if (!test_open.isEmpty()) {
    window.Guarded([&] { window.OpenDatabaseFile(QString::fromLocal8Bit(test_open)); });
  }
  window.show();
  ScheduleScreenshotView(window, qgetenv("MDBEDIT_SHOW"));
  return QApplication::exec();
}
