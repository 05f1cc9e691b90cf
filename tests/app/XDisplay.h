#pragma once
// An X server of the test's own with a window manager on it, as a user's
// desktop has: Xvfb on the first free display, listening on its unix socket
// only, and openbox. Input reaches it through the XTEST extension, as from
// a user's mouse and keyboard: the X server and the window manager decide
// which window gets it. Every wait has a deadline.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <initializer_list>
#include <string>
#include <sys/types.h>

#include "ChildProcess.h"

struct _XDisplay;

class TXDisplay {
public:
  TXDisplay() = default;
  ~TXDisplay();
  TXDisplay(const TXDisplay&) = delete;
  TXDisplay& operator=(const TXDisplay&) = delete;

  // Starts the server and the window manager, with their output in
  // `logFolder`, and points DISPLAY at them. Throws std::runtime_error when
  // either does not come up in time.
  void Start(const std::string& logFolder);

  // The left button pressed and released at `global`, a point of the screen.
  void Click(QPoint global);
  // `key` (an X key symbol) pressed and released while `modifiers` (key
  // symbols too) are held down.
  void Key(unsigned long key, std::initializer_list<unsigned long> modifiers = {});
  // Types `text`, one character of Latin-1 after another.
  void Type(const std::string& text);
  // The screen's pixels in `area`, as the X server holds them.
  QImage Grab(QRect area);
  unsigned long FocusWindow();

private:
  void Send(unsigned long keysym, bool down);

  pid_t FServer = -1;
  ChildProcess FManager;
  _XDisplay* FConnection = nullptr;
};
