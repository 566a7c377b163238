#include "ui_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>

namespace ui_test {

void ScriptedPrompter::ShowError(QWidget*, const QString& caption, const QString& text) {
  errors.push_back(text);
  error_captions.push_back(caption);
}

QMessageBox::StandardButton ScriptedPrompter::Ask(QWidget*, const QString& caption,
                                                  const QString& text, QMessageBox::Icon icon,
                                                  QMessageBox::StandardButtons buttons,
                                                  QMessageBox::StandardButton default_button) {
  questions.push_back({caption, text, icon, buttons, default_button});
  if (answers_.empty()) {
    ++unscripted_questions;
    return (buttons & QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::No;
  }
  const QMessageBox::StandardButton answer = answers_.front();
  answers_.pop_front();
  return answer;
}

bool ScriptedPrompter::RunOpenDialog(QFileDialog* dialog, QString* path) {
  ++open_dialogs;
  last_filter = dialog->nameFilters().join(u';');
  if (cancel_open_) return false;
  *path = open_path_;
  return true;
}

QString FixtureCopies::FixtureDir() {
  const QString dir = QStringLiteral(MDB_SHARED_DIR "/fixtures");
  return QDir(dir).exists() ? dir : QString();
}

QString FixtureCopies::Copy(const QString& name) {
  const QString dir = FixtureDir();
  if (dir.isEmpty() || !QFile::exists(dir + u'/' + name)) return {};
  // Fixtures in subdirectories (access/...) are copied flat into the temporary directory.
  const QString target = dir_.filePath(QFileInfo(name).fileName());
  QFile::remove(target);
  if (!QFile::copy(dir + u'/' + name, target)) return {};
  QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
  return target;
}

}  // namespace ui_test
