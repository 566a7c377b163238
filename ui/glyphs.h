#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>

namespace ui {

// The symbols of the ten toolbar buttons, in the buttons' Tag order.
enum class Glyph {
  kFirst,    // double arrow pointing left
  kPrior,    // arrow pointing left
  kNext,     // arrow pointing right
  kLast,     // double arrow pointing right
  kInsert,   // plus sign
  kDelete,   // minus sign
  kEdit,     // triangle pointing up
  kPost,     // check mark
  kCancel,   // cross
  kRefresh,  // circular arrow
};

inline constexpr int kGlyphSize = 16;

// One 16 x 16 image of `glyph` in `color` on a transparent background.
QImage DrawGlyph(Glyph glyph, const QColor& color);

// The button icon: the blue symbol while enabled, the same symbol in grey while disabled.
QIcon GlyphIcon(Glyph glyph);

// The program's main icon: a database drum over a grid, drawn at 16, 32 and 48 pixels.
QIcon ProgramIcon();

}  // namespace ui
