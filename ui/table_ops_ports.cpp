#include "ui/table_ops_ports.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>

#include "ui/data_grid.h"

namespace ui {

QString SystemClipboard::Text() {
  QString text = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
  const qsizetype nul = text.indexOf(QChar(0));
  if (nul >= 0) text.truncate(nul);
  return text;
}

void SystemClipboard::SetText(const QString& text) {
  QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

void WindowPrompts::Notice(const QString& text, Icon icon) {
  prompter_.Ask(owner_, tableops::kNoticeCaption, text,
                icon == Icon::kQuestion ? QMessageBox::Question : QMessageBox::Information,
                QMessageBox::Ok, QMessageBox::Ok);
}

void WindowPrompts::StatementFailed(const QString& /*statement*/, const std::exception& /*error*/) {
  prompter_.Ask(owner_, title_, QStringLiteral("ExecSQL FAIL"), QMessageBox::NoIcon,
                QMessageBox::Ok, QMessageBox::Ok);
}

std::vector<int> GridColumns::FieldOrder() const { return grid_.VisibleFieldOrder(); }

int GridColumns::SelectedIndex() const { return grid_.SelectedIndex(); }

BusyCursor::BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

BusyCursor::~BusyCursor() { QApplication::restoreOverrideCursor(); }

}  // namespace ui
