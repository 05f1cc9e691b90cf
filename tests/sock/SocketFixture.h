#pragma once
// What the socket tests share: a component with every event written to a log.

#include "AsyncSocket.h"
#include "LoopbackPeer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

class SocketTest : public ::testing::Test {
protected:
  void SetUp() override {
    Socket = std::make_unique<TAsyncSocket>(nullptr);
    Socket->OnConnect = [this](TComponent*) { Log.push_back("connect"); };
    Socket->OnDisconnect = [this](TComponent*) { Log.push_back("disconnect"); };
    Socket->OnHostResolved = [this](TComponent*) { Log.push_back("resolved"); };
    Socket->OnConnectionFailed = [this](TComponent*) { Log.push_back("failed"); };
    Socket->OnStatus = [this](TComponent*, const std::string& s) { Statuses.push_back(s); };
  }

  void ConnectTo(uint16_t port, const std::string& host = "127.0.0.1") {
    Socket->Host = host;
    Socket->Port = port;
    Socket->Connect();
  }

  // Runs the event loop until `done` holds or `ms` pass.
  static bool RunUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
  }

  bool Logged(const std::string& event) const { return std::find(Log.begin(), Log.end(), event) != Log.end(); }

  std::unique_ptr<TAsyncSocket> Socket;
  std::vector<std::string> Log;
  std::vector<std::string> Statuses;
};
