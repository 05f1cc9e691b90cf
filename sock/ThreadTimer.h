#pragma once
#include "Toolkit.h"

#include <cstdint>

class QTimer;
namespace sock {
class THiddenWindow;
}

// A repeating timer whose ticks arrive on its hidden window, from the event loop.
class TThreadTimer : public TComponent {
public:
  explicit TThreadTimer(TComponent* AOwner);
  ~TThreadTimer() override;

  bool Enabled() const { return FEnabled; }
  uint32_t Interval() const { return FInterval; }
  const TNotifyEvent& OnTimer() const { return FOnTimer; }
  void SetEnabled(bool value);
  void SetInterval(uint32_t value);
  void SetOnTimer(TNotifyEvent value);

  // Whether a system timer exists right now.
  bool Running() const;
  sock::THiddenWindow* TimerWindow() const { return FTimerWindow; }

protected:
  virtual void Timer();

private:
  friend intptr_t TimerWindowProc(sock::THiddenWindow*, unsigned, uintptr_t, intptr_t);
  void UpdateTimer();

  uint32_t FInterval = 1000;
  sock::THiddenWindow* FTimerWindow = nullptr;
  TNotifyEvent FOnTimer;
  bool FEnabled = true;
};

sock::THiddenWindow* AllocateTimerWindow(TThreadTimer* Owner);
intptr_t TimerWindowProc(sock::THiddenWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam);
