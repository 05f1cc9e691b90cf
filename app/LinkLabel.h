#pragma once
// A label that reports a click of the left mouse button; how it looks (colour,
// underline, cursor) is set in the window's definition, label by label.

#include <QLabel>

class TLinkLabel : public QLabel {
  Q_OBJECT
public:
  using QLabel::QLabel;

signals:
  void clicked();

protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};
