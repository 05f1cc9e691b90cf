#include "ClosingClick.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace {

class TClosingClick : public QObject {
public:
  using QObject::QObject;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::MouseButtonPress) return false;
    auto* popup = static_cast<QWidget*>(watched);
    const auto* press = static_cast<QMouseEvent*>(event);
    const QPointF global = press->globalPosition();
    if (popup->rect().contains(popup->mapFromGlobal(global.toPoint()))) return false;
    popup->hide();
    // Through the window under the pointer, as the press would have come:
    // the release that follows then finds the widget it was pressed on.
    QWidget* under = QApplication::widgetAt(global.toPoint());
    QWindow* window = under ? under->window()->windowHandle() : nullptr;
    if (!window) return true;
    QMouseEvent replay(QEvent::MouseButtonPress, window->mapFromGlobal(global), global, press->button(),
                       press->buttons(), press->modifiers(), press->pointingDevice());
    QCoreApplication::sendEvent(window, &replay);
    return true;
  }
};

}  // namespace

void KeepClosingClick(QWidget* popup) { popup->installEventFilter(new TClosingClick(popup)); }
