#pragma once

#include <QString>
#include <exception>
#include <stdexcept>
#include <utility>

#include "ui/prompter.h"

class QWidget;

namespace ui {

// A silent cancellation: leaves the running handler without any message.
class SilentAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

// The program's title, made from the executable's file name: the part after the last path
// separator, cut at its first full stop, every character after the first in lower case.
QString ApplicationTitle(const QString& executable_path);

// The text of the standard error box: `message` with a full stop appended unless it is empty or
// its last character's code is that of the full stop or lower (".", ",", "-", blank, line break).
QString ErrorBoxText(const QString& message);

// The message to show for `error`: for an exception that nests others, that of the innermost one,
// unless it is empty.
QString InnermostMessage(const std::exception& error);

// Shows `error` in the standard error box: the message, `title` as caption, OK, the stop icon.
void ShowErrorBox(Prompter& prompter, QWidget* owner, const QString& title,
                  const std::exception& error);

// Runs one event handler. No exception leaves it: errors go to the standard error box, a silent
// abort is swallowed. Qt must never see an exception cross its event loop. Returns true when `fn`
// ran to its end.
template <typename Fn>
bool RunGuarded(Prompter& prompter, QWidget* owner, const QString& title, Fn&& fn) {
  try {
    fn();
    return true;
  } catch (const SilentAbort&) {
  } catch (const std::exception& e) {
    ShowErrorBox(prompter, owner, title, e);
  } catch (...) {
    ShowErrorBox(prompter, owner, title, std::runtime_error("Unknown error"));
  }
  return false;
}

// What a widget needs to run its own event handlers the way the window does: the prompter, the
// widget that owns the boxes, and the application title for the standard error box.
struct HandlerContext {
  Prompter* prompter = nullptr;
  QWidget* owner = nullptr;
  QString title;

  template <typename Fn>
  bool Run(Fn&& fn) const {
    return RunGuarded(*prompter, owner, title, std::forward<Fn>(fn));
  }
};

}  // namespace ui
