#include "LinkLabel.h"

#include <QMouseEvent>

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  // A press dragged off the label and released elsewhere is no click.
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}
