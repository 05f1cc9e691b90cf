#pragma once
// TForm1: the program's one window. Its controls, their looks and the binding of
// their signals to the handlers below come from the window's definition
// (Unit1.ui); the window adds the HTTP client and the handlers. The handlers
// catch nothing: what one raises goes to the application's error box.

#include "AddressHistory.h"
#include "EmbeddedSite.h"
#include "HttpClient.h"
#include "LookupWait.h"
#include "ui_Unit1.h"

#include <QShortcut>
#include <QWidget>
#include <memory>

class TForm1 : public QWidget, public Ui::TForm1 {
  Q_OBJECT
public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  std::unique_ptr<THttpClient> HttpClient1;

  // A fixed home site, "host" or "host:port", for the lookups and the links.
  void UseHomeSite(const std::string& homeSite);
  // Starts the lookup service `program` once the window is on screen, or
  // with the first lookup if that comes first, and makes it the home site
  // once it listens; the status line says what it is doing meanwhile.
  void UseEmbeddedSite(const QString& program);

  // The addresses looked up before, offered by the address field.
  TAddressHistory* AddressHistory;
  // The elapsed time of the running lookup, at the right of the status bar.
  TLookupWait* LookupWait;

public slots:
  void Button1Click();
  void CheckBox1Click();
  void SpeedButton1Click();
  void SpeedButton2Click();
  // Esc during a lookup: the client's abort; nothing is written or shown.
  void CancelLookup();

  // Link labels; each opens its own fixed target.
  void Label5Click();
  void Label8Click();
  void Label13Click();
  void Label15Click();
  void Label16Click();
  void Label26Click();
  void Label27Click();
  void Label28Click();
  void Label29Click();
  void Label30Click();
  void Label31Click();
  void Label32Click();
  void Label33Click();
  void Label34Click();
  void Label35Click();
  void Label36Click();
  void Label37Click();
  void Label38Click();
  void Label39Click();
  void Label40Click();
  void Label41Click();
  void Label42Click();
  void Label43Click();
  void Label45Click();

public:
  // The client's events.
  void HttpClient1Connect(TComponent* Sender);
  void HttpClient1HostResolved(TComponent* Sender);
  void HttpClient1Status(TComponent* Sender, const std::string& Status);
  void HttpClient1ConnectionFailed(TComponent* Sender);
  void HttpClient1Disconnect(TComponent* Sender);
  void HttpClient1PacketRecvd(TComponent* Sender);
  void HttpClient1PacketSent(TComponent* Sender);
  void HttpClient1Success(CmdType Cmd);
  void HttpClient1Failure(CmdType Cmd);

protected:
  // A close asked for during a lookup cancels the lookup and is acted on when
  // the lookup command has returned, so that the command never runs on in a
  // window that has gone.
  void closeEvent(QCloseEvent* event) override;
  // The lookup service and the web engine start once the window is on screen.
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void ShowStatus(const QString& text);
  // Hands the target to the desktop; the status line says when nothing there takes it.
  void OpenLink(const std::string& target);
  void SizeLabels(QWidget* page);
  // False, after telling the user why, when the embedded service cannot take
  // a lookup; waits for it while it is starting.
  bool HomeSiteReady();
  void StartEmbeddedSite();
  void SetProxyFieldEnabled(QLineEdit* field, bool enabled);
  TLookupOptions TickedReports() const;
  void TickReports(const TLookupOptions& options);
  // The lookup was cancelled or the window is closing.
  bool LookupStopped() const { return FCancelRequested || FCloseRequested; }
  // A cancelled lookup says so in the status line; nothing else is changed.
  void ReportStopped();

  // A lookup runs nested event loops; a second press inside one would share
  // the client and the text buffer with it.
  bool FLookupRunning = false;
  bool FCloseRequested = false;
  bool FCancelRequested = false;
  QShortcut* FCancelKey;
  bool FOnScreen = false;
  QList<QWidget*> FUnsizedPages;
  QString FSiteProgram;
  TEmbeddedSite FSite;
};
