#include "ui/guard.h"

#include <stdexcept>

namespace ui {

QString ApplicationTitle(const QString& executable_path) {
  QString name = executable_path;
  const qsizetype slash = std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'));
  if (slash >= 0) name = name.mid(slash + 1);
  const qsizetype dot = name.indexOf(u'.');
  if (dot >= 0) name.truncate(dot);
  if (name.size() > 1) name = name.left(1) + name.mid(1).toLower();
  return name;
}

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back().unicode() > u'.') return message + u'.';
  return message;
}

QString InnermostMessage(const std::exception& error) {
  try {
    std::rethrow_if_nested(error);
  } catch (const std::exception& inner) {
    QString message = InnermostMessage(inner);
    if (!message.isEmpty()) return message;
  } catch (...) {
  }
  return QString::fromUtf8(error.what());
}

void ShowErrorBox(Prompter& prompter, QWidget* owner, const QString& title,
                  const std::exception& error) {
  prompter.ShowError(owner, title, ErrorBoxText(InnermostMessage(error)));
}

}  // namespace ui
