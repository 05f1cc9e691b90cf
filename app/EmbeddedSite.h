#pragma once
// The lookup service that the window runs for itself when no home site is
// configured: the program tarnwell-site, started on a loopback port that the
// system picks. It says it is ready with one line on its standard output,
// "listening on 127.0.0.1:PORT", and runs until it is told to stop. The child
// is stopped when this object goes, and dies with the window's process even
// when that crashes.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <string>

class QProcess;

class TEmbeddedSite : public QObject {
  Q_OBJECT
public:
  enum class TState { Idle, Starting, Ready, Failed };

  // How long the service may take to say it listens.
  static constexpr int kStartDeadlineMs = 15000;

  explicit TEmbeddedSite(QObject* parent = nullptr);
  ~TEmbeddedSite() override;

  // Starts the program; returns at once. Ready or Failed follows.
  void Start(const QString& program);
  TState State() const { return FState; }
  // "127.0.0.1:PORT" once ready; empty before.
  const std::string& Address() const { return FAddress; }
  // Runs the event loop until the service is ready or has failed, or until
  // StopWaiting is called.
  void WaitUntilSettled();
  void StopWaiting();

  // Where the program is: next to the running executable, then in the build
  // tree's site folder beside the executable's folder, else the install
  // prefix's bin folder.
  static QString ProgramPath();

signals:
  void Ready();
  void Failed();
  void WaitAbandoned();

private:
  void ReadOutput();
  void Fail();
  void Stop();

  QProcess* FProcess = nullptr;
  QTimer FStartDeadline;
  QByteArray FFirstLine;
  TState FState = TState::Idle;
  std::string FAddress;
};

// The port of a ready line, "listening on 127.0.0.1:PORT" with a port from 1
// to 65535 and nothing else; 0 when the line is anything else.
uint16_t ListeningPort(const QByteArray& line);
