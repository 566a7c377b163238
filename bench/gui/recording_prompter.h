#pragma once

// A prompter for the window's benchmarks: errors are recorded instead of shown (the benchmark
// fails on any), every question is cancelled and no file dialog opens.

#include <QFileDialog>
#include <QMessageBox>
#include <QString>

#include "ui/prompter.h"

namespace bench {

class RecordingPrompter : public ui::Prompter {
 public:
  void ShowError(QWidget*, const QString&, const QString& text) override { error = text; }
  QMessageBox::StandardButton Ask(QWidget*, const QString&, const QString&, QMessageBox::Icon,
                                  QMessageBox::StandardButtons,
                                  QMessageBox::StandardButton) override {
    return QMessageBox::Cancel;
  }
  bool RunOpenDialog(QFileDialog*, QString*) override { return false; }

  QString error;
};

}  // namespace bench
