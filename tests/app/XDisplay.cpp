#include "XDisplay.h"

#include <X11/Xatom.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr auto kStartDeadline = std::chrono::seconds(20);

// Xvfb picks the first free display itself and writes its number to a pipe
// once it takes connections: no guessed number can be taken by another test
// meanwhile.
pid_t StartServer(const std::string& log, std::string& display) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 3);
  posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 2, 1);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  const char* argv[] = {"Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-screen", "0", "1280x1024x24", nullptr};
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (rc != 0) {
    close(pipeEnds[0]);
    throw std::runtime_error("cannot start Xvfb");
  }
  std::string number;
  const auto deadline = std::chrono::steady_clock::now() + kStartDeadline;
  while (number.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd waiting{pipeEnds[0], POLLIN, 0};
    if (poll(&waiting, 1, 100) <= 0) continue;
    char chunk[16];
    const ssize_t n = read(pipeEnds[0], chunk, sizeof chunk);
    if (n <= 0) break;
    number.append(chunk, static_cast<size_t>(n));
  }
  close(pipeEnds[0]);
  if (number.find('\n') == std::string::npos) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    throw std::runtime_error("Xvfb did not say its display; see " + log);
  }
  display = ":" + number.substr(0, number.find('\n'));
  return pid;
}

bool ManagerRunning(Display* connection) {
  const Atom check = XInternAtom(connection, "_NET_SUPPORTING_WM_CHECK", False);
  Atom type = None;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  const int rc = XGetWindowProperty(connection, DefaultRootWindow(connection), check, 0, 1, False, XA_WINDOW, &type,
                                    &format, &items, &after, &data);
  if (data) XFree(data);
  return rc == Success && type == XA_WINDOW && items == 1;
}

}  // namespace

TXDisplay::~TXDisplay() {
  if (FConnection) XCloseDisplay(FConnection);
  FManager.Stop(5);
  if (FServer > 0) {
    kill(FServer, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (waitpid(FServer, nullptr, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(FServer, SIGKILL);
        waitpid(FServer, nullptr, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
}

void TXDisplay::Start(const std::string& logFolder) {
  std::string display;
  FServer = StartServer(logFolder + "/xvfb.log", display);
  setenv("DISPLAY", display.c_str(), 1);
  FConnection = XOpenDisplay(display.c_str());
  int event = 0, error = 0, major = 0, minor = 0;
  if (!FConnection || !XTestQueryExtension(FConnection, &event, &error, &major, &minor))
    throw std::runtime_error("cannot use XTEST on " + display);
  // openbox's own configuration, not one a user of this machine may have.
  setenv("XDG_CONFIG_HOME", logFolder.c_str(), 1);
  if (!FManager.Start({"openbox", "--sm-disable"}, logFolder + "/openbox.log"))
    throw std::runtime_error("cannot start openbox");
  const auto deadline = std::chrono::steady_clock::now() + kStartDeadline;
  while (!ManagerRunning(FConnection)) {
    if (std::chrono::steady_clock::now() > deadline || !FManager.Running())
      throw std::runtime_error("openbox did not start; see " + logFolder + "/openbox.log");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void TXDisplay::Click(QPoint global) {
  XTestFakeMotionEvent(FConnection, -1, global.x(), global.y(), CurrentTime);
  XTestFakeButtonEvent(FConnection, 1, True, CurrentTime);
  XTestFakeButtonEvent(FConnection, 1, False, CurrentTime);
  XSync(FConnection, False);
}

void TXDisplay::Send(unsigned long keysym, bool down) {
  const KeyCode code = XKeysymToKeycode(FConnection, keysym);
  if (code == 0) throw std::runtime_error("no key for key symbol " + std::to_string(keysym));
  XTestFakeKeyEvent(FConnection, code, down, CurrentTime);
}

void TXDisplay::Key(unsigned long key, std::initializer_list<unsigned long> modifiers) {
  for (unsigned long modifier : modifiers) Send(modifier, true);
  Send(key, true);
  Send(key, false);
  for (unsigned long modifier : modifiers) Send(modifier, false);
  XSync(FConnection, False);
}

void TXDisplay::Type(const std::string& text) {
  for (unsigned char c : text) {
    // Latin-1 characters are their own key symbols; the upper case needs Shift.
    const KeyCode code = XKeysymToKeycode(FConnection, c);
    const bool shifted = code != 0 && XkbKeycodeToKeysym(FConnection, code, 0, 0) != c;
    Key(c, shifted ? std::initializer_list<unsigned long>{XK_Shift_L} : std::initializer_list<unsigned long>{});
  }
}

QImage TXDisplay::Grab(QRect area) {
  XImage* image = XGetImage(FConnection, DefaultRootWindow(FConnection), area.x(), area.y(),
                            static_cast<unsigned>(area.width()), static_cast<unsigned>(area.height()), AllPlanes,
                            ZPixmap);
  if (!image) throw std::runtime_error("cannot read the screen");
  QImage pixels(area.size(), QImage::Format_RGB32);
  for (int y = 0; y < area.height(); ++y)
    for (int x = 0; x < area.width(); ++x)
      pixels.setPixel(x, y, static_cast<QRgb>(XGetPixel(image, x, y)) | 0xFF000000u);
  XDestroyImage(image);
  return pixels;
}

unsigned long TXDisplay::FocusWindow() {
  Window window = None;
  int revert = 0;
  XGetInputFocus(FConnection, &window, &revert);
  return window;
}
