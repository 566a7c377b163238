#pragma once

// The two small widget kinds of the window's layout that Qt lacks as such: a raised panel that may
// show a centred caption, and a glyph push-button that carries an integer Tag.

#include <QFrame>
#include <QPushButton>
#include <QString>

namespace ui {

// A panel with a raised bevel of width 1 and an optional caption, centred.
class TPanel : public QFrame {
  Q_OBJECT

 public:
  explicit TPanel(QWidget* parent = nullptr);

  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
};

// A push-button with a 16 x 16 glyph left of its caption and a Tag that tells handlers apart.
class TRzBitBtn : public QPushButton {
  Q_OBJECT

 public:
  explicit TRzBitBtn(QWidget* parent = nullptr);

  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

 private:
  int tag_ = 0;
};

// One page of the page control. Its Tag is the index of its record in TablePages; code that only
// holds the page as a QWidget reads it as the property "Tag".
class TTabSheet : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)

 public:
  explicit TTabSheet(QWidget* parent = nullptr) : QWidget(parent) {}

  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }

 private:
  int tag_ = 0;
};

}  // namespace ui
