#include "ui/widgets.h"

#include <QPainter>

#include "ui/glyphs.h"

namespace ui {

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
}

void TPanel::SetCaption(const QString& caption) {
  caption_ = caption;
  update();
}

void TPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  if (caption_.isEmpty()) return;
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::WindowText));
  painter.drawText(contentsRect(), Qt::AlignCenter, caption_);
}

TRzBitBtn::TRzBitBtn(QWidget* parent) : QPushButton(parent) {
  setIconSize(QSize(kGlyphSize, kGlyphSize));
  setAutoDefault(false);
}

}  // namespace ui
