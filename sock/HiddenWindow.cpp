#include "HiddenWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <map>

namespace sock {

namespace {

std::map<std::string, TWindowClass>& Classes() {
  static std::map<std::string, TWindowClass> classes;
  return classes;
}

const QEvent::Type MessageEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

struct TMessageEvent final : QEvent {
  TMessageEvent(unsigned m, uintptr_t w, intptr_t l) : QEvent(MessageEventType), Msg(m), WParam(w), LParam(l) {}
  unsigned Msg;
  uintptr_t WParam;
  intptr_t LParam;
};

}  // namespace

bool RegisterClass(const TWindowClass& cls) {
  auto [it, inserted] = Classes().emplace(cls.Name, cls);
  return inserted || it->second.WindowProc == cls.WindowProc;
}

const TWindowClass* GetClassInfo(const std::string& name) {
  auto it = Classes().find(name);
  return it == Classes().end() ? nullptr : &it->second;
}

intptr_t DefWindowProc(THiddenWindow*, unsigned, uintptr_t, intptr_t) { return 0; }

THiddenWindow::THiddenWindow(const TWindowClass& cls) : FProc(cls.WindowProc) {}

intptr_t THiddenWindow::SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  return FProc(this, message, wParam, lParam);
}

void THiddenWindow::PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  // Qt drops events still queued for a receiver when it is deleted, so a
  // destroyed window is never reached.
  QCoreApplication::postEvent(this, new TMessageEvent(message, wParam, lParam));
}

bool THiddenWindow::event(QEvent* e) {
  if (e->type() != MessageEventType) return QObject::event(e);
  auto* m = static_cast<TMessageEvent*>(e);
  SendMessage(m->Msg, m->WParam, m->LParam);
  return true;
}

THiddenWindow* CreateHiddenWindow(const TWindowClass& cls, void* owner) {
  if (!GetClassInfo(cls.Name) && !RegisterClass(cls)) return nullptr;
  auto* window = new THiddenWindow(*GetClassInfo(cls.Name));
  if (owner) window->SetOwnerSlot(owner);
  return window;
}

void DestroyWindow(THiddenWindow* window) { delete window; }

}  // namespace sock
