#pragma once
// Hidden windows: the receivers through which the socket layer is told what
// happened on a socket, when a name lookup is done and when a timer ticks.
// A window belongs to a window class, which gives it its window procedure, and
// has one slot that holds its owning object. Messages posted to a window travel
// through Qt's event queue and reach the procedure on the GUI thread, from
// whichever event loop or processEvents() call is running.

#include <QObject>
#include <cstdint>
#include <string>

namespace sock {

constexpr unsigned WM_USER = 1024;
constexpr unsigned WM_ACTIVATEAPP = 28;
constexpr unsigned WM_TIMER = 275;
constexpr unsigned SOCKET_MESSAGE = WM_USER + 101;  // socket event
constexpr unsigned LOOKUP_MESSAGE = WM_USER + 102;  // asynchronous lookup done

class THiddenWindow;
using TWindowProc = intptr_t (*)(THiddenWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam);

struct TWindowClass {
  std::string Name;
  TWindowProc WindowProc;
};

// Registers a class once per process; false when the name is taken by another procedure.
bool RegisterClass(const TWindowClass& cls);
const TWindowClass* GetClassInfo(const std::string& name);

// The default handling of a message nobody handles: answered 0.
intptr_t DefWindowProc(THiddenWindow* window, unsigned message, uintptr_t wParam, intptr_t lParam);

class THiddenWindow final : public QObject {
public:
  explicit THiddenWindow(const TWindowClass& cls);

  void* OwnerSlot() const { return FOwner; }
  void SetOwnerSlot(void* owner) { FOwner = owner; }

  // Calls the window procedure at once.
  intptr_t SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
  // Queues the message; it is delivered from the event loop unless the window,
  // or the `queue` object it was posted through, is destroyed first.
  void PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam, QObject* queue = nullptr);

private:
  TWindowProc FProc;
  void* FOwner = nullptr;
};

// Creates a hidden window of the named class, registered on first use with the
// given procedure, and stores the owner in its slot. nullptr when the class
// cannot be registered.
THiddenWindow* CreateHiddenWindow(const TWindowClass& cls, void* owner);
void DestroyWindow(THiddenWindow* window);

}  // namespace sock
