#include "ui/prompter.h"

#include <QFileDialog>
#include <QStringList>

namespace ui {

void QtPrompter::ShowError(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
  box.exec();
}

QMessageBox::StandardButton QtPrompter::Ask(QWidget* parent, const QString& caption,
                                            const QString& text, QMessageBox::Icon icon,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton default_button) {
  QMessageBox box(icon, caption, text, buttons, parent);
  box.setDefaultButton(default_button);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

bool QtPrompter::RunOpenDialog(QFileDialog* dialog, QString* path) {
  if (dialog->exec() != QDialog::Accepted) return false;
  const QStringList files = dialog->selectedFiles();
  if (files.isEmpty()) return false;
  *path = files.first();
  return true;
}

}  // namespace ui
