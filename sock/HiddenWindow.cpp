#include "HiddenWindow.h"

#include <QPointer>
#include <map>

namespace sock {

namespace {

std::map<std::string, TWindowClass>& Classes() {
  static std::map<std::string, TWindowClass> classes;
  return classes;
}

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

void THiddenWindow::PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam, QObject* queue) {
  // Qt drops a queued call when its context object is deleted; the window
  // guards the call as well, so a destroyed window is never reached either.
  QPointer<THiddenWindow> window(this);
  QMetaObject::invokeMethod(
      queue ? queue : this,
      [window, message, wParam, lParam] {
        if (window) window->SendMessage(message, wParam, lParam);
      },
      Qt::QueuedConnection);
}

THiddenWindow* CreateHiddenWindow(const TWindowClass& cls, void* owner) {
  if (!GetClassInfo(cls.Name) && !RegisterClass(cls)) return nullptr;
  auto* window = new THiddenWindow(*GetClassInfo(cls.Name));
  if (owner) window->SetOwnerSlot(owner);
  return window;
}

void DestroyWindow(THiddenWindow* window) { delete window; }

}  // namespace sock
