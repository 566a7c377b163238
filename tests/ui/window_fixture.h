#pragma once

// A window with a scripted prompter over a temporary copy of a fixture, for the tests that open
// databases. Pages are found by caption.

#include <QString>
#include <QTabWidget>
#include <memory>

#include "shared/share.h"
#include "ui/frm_main.h"
#include "ui_test_support.h"

namespace ui_test {

struct OpenWindow {
  ScriptedPrompter prompter;
  FixtureCopies copies;
  std::unique_ptr<ui::TFrmMain> window =
      std::make_unique<ui::TFrmMain>(prompter, QStringLiteral("Mdbedit"));

  // Makes the page captioned `caption` current and returns its record; null when absent.
  TTablePage* ShowPage(const QString& caption) {
    QTabWidget* pages = window->PageControl;
    for (int i = 0; i < pages->count(); ++i) {
      if (pages->tabText(i) == caption) {
        pages->setCurrentIndex(i);
        return window->CurrentPage();
      }
    }
    return nullptr;
  }
};

}  // namespace ui_test
