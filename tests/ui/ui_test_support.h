#pragma once

// Helpers of the window tests: a prompter that answers from a script and records what was shown,
// and temporary copies of the shared fixtures (read-only originals are never opened for writing).

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <vector>

#include "ui/prompter.h"

namespace ui_test {

class ScriptedPrompter : public ui::Prompter {
 public:
  struct Question {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton default_button = QMessageBox::NoButton;
  };

  void ShowError(QWidget* parent, const QString& caption, const QString& text) override;
  QMessageBox::StandardButton Ask(QWidget* parent, const QString& caption, const QString& text,
                                  QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
                                  QMessageBox::StandardButton default_button) override;
  bool RunOpenDialog(QFileDialog* dialog, QString* path) override;

  // Script: the answers to the next questions, and the next Open dialog's outcome.
  void Answer(QMessageBox::StandardButton button) { answers_.push_back(button); }
  void ChooseFile(const QString& path) {
    open_path_ = path;
    cancel_open_ = false;
  }
  void CancelOpen() { cancel_open_ = true; }

  // Record.
  QStringList errors;          // texts of standard error boxes, in order
  QStringList error_captions;  // their captions
  std::vector<Question> questions;
  int unscripted_questions = 0;  // questions asked with no answer scripted (answered Cancel/No)
  int open_dialogs = 0;
  QString last_filter;  // the name filter the Open dialog carried

 private:
  std::deque<QMessageBox::StandardButton> answers_;
  QString open_path_;
  bool cancel_open_ = true;
};

// A temporary directory holding copies of fixture files.
class FixtureCopies {
 public:
  // The shared fixture directory, or empty when it is absent.
  static QString FixtureDir();
  // Copies fixture `name` into the temporary directory and returns the copy's path; empty when
  // the fixture is missing.
  QString Copy(const QString& name);
  QString Path(const QString& name) const { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
};

}  // namespace ui_test

// Copies a fixture into `copies`, or skips the running test with a visible reason.
#define UI_TEST_FIXTURE(var, copies, name)                 \
  const QString var = (copies).Copy(QStringLiteral(name)); \
  if (var.isEmpty()) QSKIP("fixture " name " not found: ../shared/fixtures is absent")
