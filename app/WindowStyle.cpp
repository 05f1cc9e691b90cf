#include "WindowStyle.h"

#include <QGroupBox>
#include <QStyleOption>
#include <qdrawutil.h>

#include <algorithm>

void TWindowStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                 const QWidget* widget) const {
  if (element != PE_FrameGroupBox || baseStyle()->name().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
    return QProxyStyle::drawPrimitive(element, option, painter, widget);
  // Fusion places its title above the frame and the frame a little below it.
  constexpr int kBelowTitle = 3;
  const auto* box = qobject_cast<const QGroupBox*>(widget);
  const bool titled = !box || box->isCheckable() || !box->title().isEmpty();
  const int top = (titled ? std::max(pixelMetric(PM_ExclusiveIndicatorHeight, option, widget),
                                     option->fontMetrics.height())
                          : 0) +
                  kBelowTitle;
  qDrawShadeRect(painter, option->rect.adjusted(0, top, 0, 0), option->palette, true, 1);
}
