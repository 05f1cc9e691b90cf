#pragma once

#include <QProxyStyle>

// The desktop's own style, with one change where that style is Fusion: a
// group box is framed by the etched line the classic controls drew, instead
// of Fusion's picture of a frame. Reading that picture, on the window's first
// paint, has Qt open every image-format plugin installed to learn whether one
// of them claims the format; that alone was a fortieth of the window's start.
class TWindowStyle : public QProxyStyle {
public:
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
};
