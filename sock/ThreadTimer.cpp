#include "ThreadTimer.h"

#include "HiddenWindow.h"

#include <QTimer>

using namespace sock;

namespace {
const TWindowClass TimerWindowClass{"TmrWindowClass", TimerWindowProc};

// The system timer of a timer window: one repeating Qt timer per window,
// made on first use and then only started and stopped, which delivers its
// ticks to the window as WM_TIMER with id 1.
QTimer* SystemTimer(THiddenWindow* window) { return window ? window->findChild<QTimer*>() : nullptr; }

bool SetTimer(THiddenWindow* window, uint32_t interval) {
  if (!window) return false;
  QTimer* timer = SystemTimer(window);
  if (!timer) {
    timer = new QTimer(window);
    QObject::connect(timer, &QTimer::timeout, window, [window] { window->SendMessage(WM_TIMER, 1, 0); });
  }
  timer->start(static_cast<int>(std::min<uint32_t>(interval, INT32_MAX)));
  return true;
}

void KillTimer(THiddenWindow* window) {
  if (QTimer* timer = SystemTimer(window)) timer->stop();
}
}  // namespace

THiddenWindow* AllocateTimerWindow(TThreadTimer* Owner) { return CreateHiddenWindow(TimerWindowClass, Owner); }

intptr_t TimerWindowProc(THiddenWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  auto* owner = static_cast<TThreadTimer*>(window->OwnerSlot());
  if (!owner) return DefWindowProc(window, message, wParam, lParam);
  switch (message) {
    case WM_ACTIVATEAPP:
      return 0;
    case WM_TIMER:
      try {
        owner->Timer();
      } catch (...) {
        HandleApplicationException(owner);
      }
      return 0;
    default:
      return DefWindowProc(window, message, wParam, lParam);
  }
}

TThreadTimer::TThreadTimer(TComponent* AOwner) : TComponent(AOwner) { FTimerWindow = AllocateTimerWindow(this); }

TThreadTimer::~TThreadTimer() {
  MarkDestroying();
  FEnabled = false;
  UpdateTimer();
  DestroyWindow(FTimerWindow);
}

void TThreadTimer::SetEnabled(bool value) {
  if (value == FEnabled) return;
  FEnabled = value;
  UpdateTimer();
}

void TThreadTimer::SetInterval(uint32_t value) {
  if (value == FInterval) return;
  FInterval = value;
  UpdateTimer();
}

void TThreadTimer::SetOnTimer(TNotifyEvent value) {
  FOnTimer = std::move(value);
  UpdateTimer();
}

bool TThreadTimer::Running() const {
  QTimer* timer = SystemTimer(FTimerWindow);
  return timer && timer->isActive();
}

void TThreadTimer::UpdateTimer() {
  KillTimer(FTimerWindow);
  if (FInterval != 0 && FEnabled && FOnTimer)
    if (!SetTimer(FTimerWindow, FInterval)) throw Exception("No Timer");
}

void TThreadTimer::Timer() {
  if (FOnTimer) FOnTimer(this);
}
