#pragma once

// Qt's own texts (standard buttons, the file dialog) in the language of `locale`, from the
// translations Debian installs with qt6-translations-l10n.

#include <QLocale>

class QTranslator;

namespace ui {

// Loads Qt's base translations for `locale` into `translator` and installs it in the running
// application. False when there are none for that language (English needs none).
bool InstallQtTranslations(const QLocale& locale, QTranslator& translator);

}  // namespace ui
