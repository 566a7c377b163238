#pragma once

#include <QMessageBox>
#include <QString>

class QFileDialog;
class QWidget;

namespace ui {

// Everything the window asks of the user or tells the user in a modal box. The product shows real
// dialogs (QtPrompter); tests plug in a scripted implementation so that nothing ever blocks.
class Prompter {
 public:
  virtual ~Prompter() = default;

  // The standard error box: `text` as given, `caption`, one OK button, the stop icon.
  virtual void ShowError(QWidget* parent, const QString& caption, const QString& text) = 0;

  // A modal question; returns the button the user pressed (Cancel/No/Escape as the box reports).
  virtual QMessageBox::StandardButton Ask(QWidget* parent, const QString& caption,
                                          const QString& text, QMessageBox::Icon icon,
                                          QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton default_button) = 0;

  // Runs the Open dialog. Returns true and sets `path` when the user confirmed a file.
  virtual bool RunOpenDialog(QFileDialog* dialog, QString* path) = 0;
};

// The real, modal dialogs.
class QtPrompter : public Prompter {
 public:
  void ShowError(QWidget* parent, const QString& caption, const QString& text) override;
  QMessageBox::StandardButton Ask(QWidget* parent, const QString& caption, const QString& text,
                                  QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
                                  QMessageBox::StandardButton default_button) override;
  bool RunOpenDialog(QFileDialog* dialog, QString* path) override;
};

}  // namespace ui
