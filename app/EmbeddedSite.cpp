#include "EmbeddedSite.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const QByteArray kReadyPrefix = "listening on 127.0.0.1:";
// A ready line is short; a child that writes more before its newline is not
// the service.
constexpr qsizetype kMaxLine = 128;
constexpr int kStopGraceMs = 3000;

}  // namespace

uint16_t ListeningPort(const QByteArray& line) {
  if (!line.startsWith(kReadyPrefix)) return 0;
  const QByteArray digits = line.mid(kReadyPrefix.size());
  if (digits.isEmpty() || digits.size() > 5) return 0;
  for (char c : digits)
    if (c < '0' || c > '9') return 0;
  const int port = digits.toInt();
  return port >= 1 && port <= 65535 ? static_cast<uint16_t>(port) : 0;
}

TEmbeddedSite::TEmbeddedSite(QObject* parent) : QObject(parent) {
  FStartDeadline.setSingleShot(true);
  connect(&FStartDeadline, &QTimer::timeout, this, &TEmbeddedSite::Fail);
}

TEmbeddedSite::~TEmbeddedSite() { Stop(); }

QString TEmbeddedSite::ProgramPath() {
  const QDir here(QCoreApplication::applicationDirPath());
  for (const QString& candidate : {here.filePath(QStringLiteral("tarnwell-site")),
                                   here.filePath(QStringLiteral("../site/tarnwell-site"))}) {
    const QFileInfo file(candidate);
    if (file.isFile() && file.isExecutable()) return file.canonicalFilePath();
  }
  return QStringLiteral(TARNWELL_INSTALL_BINDIR "/tarnwell-site");
}

void TEmbeddedSite::Start(const QString& program) {
  FProcess = new QProcess(this);
  // The service's request log goes where the window's own messages go.
  FProcess->setProcessChannelMode(QProcess::ForwardedErrorChannel);
  const pid_t window = getpid();
  FProcess->setChildProcessModifier([window] {
    // A window that crashes never stops its service: the kernel does. A
    // window already gone before this line is caught by the parent check.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != window) _exit(1);
  });
  connect(FProcess, &QProcess::readyReadStandardOutput, this, &TEmbeddedSite::ReadOutput);
  connect(FProcess, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart || error == QProcess::Crashed) Fail();
  });
  connect(FProcess, &QProcess::finished, this, &TEmbeddedSite::Fail);
  FState = TState::Starting;
  FStartDeadline.start(kStartDeadlineMs);
  FProcess->start(program, {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--allow-lan")},
                  QIODevice::ReadOnly);
}

void TEmbeddedSite::ReadOutput() {
  // Only the first line means anything; the rest is read and dropped, so that
  // the pipe never fills and stalls the service.
  const QByteArray bytes = FProcess->readAllStandardOutput();
  if (FState != TState::Starting) return;
  FFirstLine += bytes;
  const qsizetype end = FFirstLine.indexOf('\n');
  if (end < 0) {
    if (FFirstLine.size() > kMaxLine) Fail();
    return;
  }
  const uint16_t port = ListeningPort(FFirstLine.left(end).trimmed());
  if (port == 0) return Fail();
  FStartDeadline.stop();
  FAddress = "127.0.0.1:" + std::to_string(port);
  FState = TState::Ready;
  emit Ready();
}

void TEmbeddedSite::Fail() {
  if (FState == TState::Failed) return;
  FStartDeadline.stop();
  FState = TState::Failed;
  FAddress.clear();
  Stop();
  emit Failed();
}

void TEmbeddedSite::Stop() {
  if (!FProcess || FProcess->state() == QProcess::NotRunning) return;
  // Its end is ours, not a failure to report.
  FProcess->disconnect(this);
  FProcess->terminate();
  if (!FProcess->waitForFinished(kStopGraceMs)) {
    FProcess->kill();
    FProcess->waitForFinished(kStopGraceMs);
  }
}

void TEmbeddedSite::WaitUntilSettled() {
  if (FState != TState::Starting) return;
  QEventLoop loop;
  connect(this, &TEmbeddedSite::Ready, &loop, &QEventLoop::quit);
  connect(this, &TEmbeddedSite::Failed, &loop, &QEventLoop::quit);
  connect(this, &TEmbeddedSite::WaitAbandoned, &loop, &QEventLoop::quit);
  loop.exec();
}

void TEmbeddedSite::StopWaiting() { emit WaitAbandoned(); }
