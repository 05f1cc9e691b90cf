// The timer component and the socket's time-out.
#include "HiddenWindow.h"
#include "SocketFixture.h"

namespace {

class TimerTest : public SocketTest {};

TEST_F(TimerTest, RunsOnlyWithIntervalEnabledAndHandler) {
  TThreadTimer timer(nullptr);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 1000u);
  EXPECT_FALSE(timer.Running()) << "no handler yet";
  int ticks = 0;
  timer.SetOnTimer([&](TComponent*) { ++ticks; });
  EXPECT_TRUE(timer.Running());
  timer.SetInterval(0);
  EXPECT_FALSE(timer.Running());
  timer.SetInterval(10);
  timer.SetEnabled(false);
  EXPECT_FALSE(timer.Running());
  timer.SetEnabled(true);
  ASSERT_TRUE(RunUntil([&] { return ticks >= 3; })) << "the timer repeats";
}

TEST_F(TimerTest, SettingThePresentValueDoesNotRestartTheCountdown) {
  TThreadTimer timer(nullptr);
  int ticks = 0;
  timer.SetInterval(150);
  timer.SetOnTimer([&](TComponent*) { ++ticks; });
  // Setting the same interval over and over would hold the tick off for ever
  // if it restarted the countdown.
  QElapsedTimer t;
  t.start();
  while (ticks == 0 && t.elapsed() < 3000) {
    timer.SetInterval(150);
    timer.SetEnabled(true);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_EQ(ticks, 1);
}

TEST_F(TimerTest, HandlerExceptionGoesToTheApplicationAndTimerKeepsRunning) {
  std::vector<std::string> caught;
  SetApplicationExceptionHandler([&](TComponent*, const std::exception& e) { caught.push_back(e.what()); });
  TThreadTimer timer(nullptr);
  timer.SetInterval(10);
  timer.SetOnTimer([](TComponent*) { throw Exception("tick failed"); });
  ASSERT_TRUE(RunUntil([&] { return caught.size() >= 2; }));
  SetApplicationExceptionHandler(nullptr);
  EXPECT_EQ(caught[0], "tick failed");
}

TEST_F(TimerTest, TimerWindowWithoutOwnerTakesDefaultHandling) {
  sock::THiddenWindow* window = sock::CreateHiddenWindow({"TmrWindowClass", TimerWindowProc}, nullptr);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->SendMessage(sock::WM_TIMER, 1, 0), 0);
  sock::DestroyWindow(window);
}

TEST_F(TimerTest, TimeOutZeroReportsTimerOnButNeverTicks) {
  Socket->ReportLevel = 8;
  Socket->TimerOn();
  EXPECT_EQ(Socket->LastStatus, "Timer On");
  EXPECT_FALSE(Socket->TimeOutTimer->Running());
  Socket->TimerOff();
}

TEST_F(TimerTest, NegativeTimeOutIsARangeError) {
  Socket->TimeOut = -5;
  EXPECT_THROW(Socket->TimerOn(), ERangeError);
  EXPECT_FALSE(Socket->TimeOutTimer->Running());
}

TEST_F(TimerTest, TickEndsEveryKindOfWait) {
  Socket->TimeOut = 20;
  Socket->TimerOn();
  ASSERT_TRUE(RunUntil([&] { return Socket->TimedOut; }));
  EXPECT_TRUE(Socket->AsyncDone);
  EXPECT_TRUE(Socket->Canceled);
  EXPECT_FALSE(Socket->TimeOutTimer->Running());
}

}  // namespace
