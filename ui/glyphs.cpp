#include "ui/glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

namespace ui {
namespace {

const QColor kEnabledColor(0, 70, 200);
const QColor kDisabledColor(140, 140, 140);

// A filled triangle with its tip at `tip_x`, pointing left when `left`, centred vertically.
void Arrow(QPainter& p, qreal tip_x, bool left) {
  const qreal base_x = left ? tip_x + 6 : tip_x - 6;
  p.drawPolygon(QPolygonF({QPointF(tip_x, 8), QPointF(base_x, 2.5), QPointF(base_x, 13.5)}));
}

void DrawArrows(QPainter& p, Glyph glyph) {
  switch (glyph) {
    case Glyph::kFirst:
      Arrow(p, 2, true);
      Arrow(p, 8, true);
      break;
    case Glyph::kPrior:
      Arrow(p, 4.5, true);
      break;
    case Glyph::kNext:
      Arrow(p, 11.5, false);
      break;
    default:  // kLast
      Arrow(p, 8, false);
      Arrow(p, 14, false);
      break;
  }
}

void DrawRefresh(QPainter& p, const QColor& color) {
  QPen pen(color, 2.2, Qt::SolidLine, Qt::FlatCap);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  // An almost closed circle, open at the top right, with an arrow head at its end.
  p.drawArc(QRectF(2.5, 2.5, 11, 11), 60 * 16, 280 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawPolygon(QPolygonF({QPointF(9.5, 0.5), QPointF(15, 3.5), QPointF(10, 7.5)}));
}

}  // namespace

QImage DrawGlyph(Glyph glyph, const QColor& color) {
  QImage image(kGlyphSize, kGlyphSize, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  const QPen stroke(color, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  switch (glyph) {
    case Glyph::kFirst:
    case Glyph::kPrior:
    case Glyph::kNext:
    case Glyph::kLast:
      DrawArrows(p, glyph);
      break;
    case Glyph::kInsert:
      p.drawRect(QRectF(6.5, 2, 3, 12));
      p.drawRect(QRectF(2, 6.5, 12, 3));
      break;
    case Glyph::kDelete:
      p.drawRect(QRectF(2, 6.5, 12, 3));
      break;
    case Glyph::kEdit:
      p.drawPolygon(QPolygonF({QPointF(8, 3), QPointF(14, 12.5), QPointF(2, 12.5)}));
      break;
    case Glyph::kPost:
      p.setPen(stroke);
      p.setBrush(Qt::NoBrush);
      p.drawPolyline(QPolygonF({QPointF(2.5, 8.5), QPointF(6.5, 12.5), QPointF(13.5, 3.5)}));
      break;
    case Glyph::kCancel:
      p.setPen(stroke);
      p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
      p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
      break;
    case Glyph::kRefresh:
      DrawRefresh(p, color);
      break;
  }
  return image;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {16, 32, 48}) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    // A drum: body, then its top ellipse, in the toolbar's blue.
    p.setPen(QPen(kEnabledColor.darker(140), 0.8));
    p.setBrush(kEnabledColor);
    p.drawRect(QRectF(2.5, 3.5, 11, 9));
    p.drawEllipse(QRectF(2.5, 10, 11, 5));
    p.setBrush(kEnabledColor.lighter(160));
    p.drawEllipse(QRectF(2.5, 1, 11, 5));
    // Grid lines across the body.
    p.setPen(QPen(Qt::white, 0.8));
    p.drawLine(QPointF(4, 8.5), QPointF(12, 8.5));
    p.drawLine(QPointF(8, 6.5), QPointF(8, 12.5));
    p.end();
    icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

QIcon GlyphIcon(Glyph glyph) {
  QIcon icon;
  icon.addPixmap(QPixmap::fromImage(DrawGlyph(glyph, kEnabledColor)), QIcon::Normal);
  icon.addPixmap(QPixmap::fromImage(DrawGlyph(glyph, kDisabledColor)), QIcon::Disabled);
  return icon;
}

}  // namespace ui
