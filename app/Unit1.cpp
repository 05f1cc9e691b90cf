#include "Unit1.h"

#include "Dialogs.h"
#include "HomeSite.h"
#include "Links.h"
#include "ProxyPort.h"
#include "ResultFile.h"
#include "SaveName.h"
#include "ServiceUrl.h"
#include "Win1251.h"
#include "images/print.xpm"
#include "images/save.xpm"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QCompleter>
#include <QLabel>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

// Clears the lookup flag however the lookup ends, and then runs `ended`.
class TRunningFlag {
public:
  TRunningFlag(bool& flag, std::function<void()> ended) : FFlag(flag), FEnded(std::move(ended)) { FFlag = true; }
  ~TRunningFlag() {
    FFlag = false;
    FEnded();
  }
  TRunningFlag(const TRunningFlag&) = delete;
  TRunningFlag& operator=(const TRunningFlag&) = delete;

private:
  bool& FFlag;
  std::function<void()> FEnded;
};

void ShowNoNetwork(QWidget* parent) {
  ShowMessageBox({parent, QMessageBox::Warning, QStringLiteral("Ошибка"),
                  QStringLiteral("Отсутствует подключение к интернету")});
}

void ShowNoService(QWidget* parent) {
  ShowMessageBox({parent, QMessageBox::Warning, QStringLiteral("Ошибка"),
                  QStringLiteral("Не удалось запустить службу поиска tarnwell-site, поэтому получить информацию "
                                 "нельзя. Установите программу заново или укажите сайт службы параметром "
                                 "--home-site.")});
}

const QString kCancelled = QStringLiteral("Запрос отменён");

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent), HttpClient1(std::make_unique<THttpClient>(nullptr)) {
  // The pictures live in a static library, whose resources a linker would drop.
  Q_INIT_RESOURCE(tarnwell);
  setupUi(this);
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFixedSize(size());
  move(123, 91);
  // The buttons' pictures are compiled in: a picture read from a file has the
  // toolkit load every image plugin it has to try on it while the window
  // starts.
  SpeedButton1->setIcon(QIcon(QPixmap(save_xpm)));
  SpeedButton2->setIcon(QIcon(QPixmap(print_xpm)));

  // The definition gives text colours as each widget's textColor: a palette
  // costs the window's start a fraction of what a style sheet would.
  for (QWidget* widget : findChildren<QWidget*>()) {
    const QVariant color = widget->property("textColor");
    if (!color.isValid()) continue;
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color.value<QColor>());
    widget->setPalette(palette);
  }
  // Measuring a label's text loads its font, so the labels of a page not on
  // screen are sized when the page first shows: the window's start does not
  // wait for fonts that only other pages use.
  SizeLabels(PageControl1->currentWidget());
  for (int i = 0; i < PageControl1->count(); ++i) {
    QWidget* page = PageControl1->widget(i);
    if (page == PageControl1->currentWidget()) continue;
    FUnsizedPages.append(page);
    page->installEventFilter(this);
  }
  UseHomeSite(links::HomeSite());
  Label15->setText(QString::fromLatin1(links::kContactAddress));
  Label15->adjustSize();
  Memo1->SetText(ToWin1251(Memo1->toPlainText()));
  SetProxyFieldEnabled(Proxy_name, false);
  SetProxyFieldEnabled(Proxy_port, false);
  Proxy_port->setValidator(new TProxyPortValidator(Proxy_port));
  ipaddress->setFocus();

  AddressHistory = new TAddressHistory(ipaddress, UserConfigFile());
  connect(AddressHistory, &TAddressHistory::Chosen, this, [this](const TRecentLookup& lookup) { TickReports(lookup.Options); });
  LookupWait = new TLookupWait(StatusBar1, Label48, Label49);
  connect(WebBrowser1, &TWebBrowser::LinkClicked, this, &TForm1::OpenLink);
  FCancelKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  // Wherever the focus is, the result view's own window included.
  FCancelKey->setContext(Qt::ApplicationShortcut);
  FCancelKey->setEnabled(false);
  connect(FCancelKey, &QShortcut::activated, this, &TForm1::CancelLookup);

  THttpClient& client = *HttpClient1;
  client.Name = "HttpClient1";
  client.Body = "Default.htm";
  client.Header = HeaderFilePath(ResultFilePath());
  client.InputFileMode = false;
  client.OutputFileMode = true;
  client.Port = 0;
  client.ProxyPort = 0;
  client.Proxy.clear();
  client.TimeOut = 0;
  client.BodyLimit = 64 << 20;
  client.ReportLevel = 0;
  client.OnConnect = [this](TComponent* s) { HttpClient1Connect(s); };
  client.OnHostResolved = [this](TComponent* s) { HttpClient1HostResolved(s); };
  client.OnStatus = [this](TComponent* s, const std::string& status) { HttpClient1Status(s, status); };
  client.OnConnectionFailed = [this](TComponent* s) { HttpClient1ConnectionFailed(s); };
  client.OnDisconnect = [this](TComponent* s) { HttpClient1Disconnect(s); };
  client.OnPacketRecvd = [this](TComponent* s) { HttpClient1PacketRecvd(s); };
  client.OnPacketSent = [this](TComponent* s) { HttpClient1PacketSent(s); };
  client.OnSuccess = [this](CmdType cmd) { HttpClient1Success(cmd); };
  client.OnFailure = [this](CmdType cmd) { HttpClient1Failure(cmd); };
}

TForm1::~TForm1() = default;

void TForm1::UseHomeSite(const std::string& homeSite) {
  links::SetHomeSite(homeSite);
  for (QLabel* label : {Label8, Label13}) {
    label->setText(QString::fromStdString(links::HomeSiteAddress()));
    label->adjustSize();
  }
}

void TForm1::UseEmbeddedSite(const QString& program) {
  connect(&FSite, &TEmbeddedSite::Ready, this, [this] {
    UseHomeSite(FSite.Address());
    StatusBar1->clearMessage();
  });
  connect(&FSite, &TEmbeddedSite::Failed, this,
          [this] { ShowStatus(QStringLiteral("Служба поиска не запустилась")); });
  ShowStatus(QStringLiteral("Запуск службы поиска..."));
  FSiteProgram = program;
  if (FOnScreen) StartEmbeddedSite();
}

void TForm1::StartEmbeddedSite() {
  if (!FSiteProgram.isEmpty() && FSite.State() == TEmbeddedSite::TState::Idle) FSite.Start(FSiteProgram);
}

bool TForm1::HomeSiteReady() {
  StartEmbeddedSite();
  FSite.WaitUntilSettled();
  if (LookupStopped()) return false;
  if (FSite.State() != TEmbeddedSite::TState::Failed) return true;
  ShowNoService(this);
  return false;
}

void TForm1::SizeLabels(QWidget* page) {
  // Labels size themselves to their text, as the definition's positions assume;
  // word-wrapped ones keep their width and grow downwards when the font needs
  // it, and the product name keeps the box its text is centred in.
  for (QLabel* label : page->findChildren<QLabel*>()) {
    // The lookup's time and hint on the result page size themselves.
    if (label == Label10 || label == Label48 || label == Label49) continue;
    if (!label->wordWrap()) label->adjustSize();
    else label->resize(label->width(), std::max(label->height(), label->heightForWidth(label->width())));
  }
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!FOnScreen && windowHandle()) windowHandle()->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show && FUnsizedPages.removeOne(watched)) {
    watched->removeEventFilter(this);
    SizeLabels(static_cast<QWidget*>(watched));
  }
  if (event->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed() && !FOnScreen) {
    FOnScreen = true;
    windowHandle()->removeEventFilter(this);
    // Queued behind the window's first paint, which the exposure brings. The
    // icon comes first: drawing it from its SVG takes as long as a tenth of
    // the window's start. The service comes next: it starts in a process of
    // its own, beside the engine's loading here.
    QTimer::singleShot(0, this, [this] {
      setWindowIcon(QIcon(QStringLiteral(":/images/tarnwell.svg")));
      StartEmbeddedSite();
      WebBrowser1->Start();
    });
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::Button1Click() {
  if (FLookupRunning) return;
  TRunningFlag running(FLookupRunning, [this] {
    FCancelKey->setEnabled(false);
    FCancelRequested = false;
    LookupWait->Stop();
    // A close that was asked for meanwhile, from the event loop.
    if (FCloseRequested) QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  });

  std::string address;
  HttpClient1->GetLocalAddress(address);
  if (address == "0.0.0.0") return ShowNoNetwork(this);
  HttpClient1->GetLocalAddress(address);
  if (address == "127.0.0.1") return ShowNoNetwork(this);
  FCancelKey->setEnabled(true);
  LookupWait->Start();
  if (!HomeSiteReady()) return ReportStopped();

  HttpClient1->ReportLevel = 2;
  // The machine's own service is reached directly, as browsers do for
  // localhost: a proxy elsewhere could not reach it.
  if (CheckBox1->isChecked() && !IsLoopbackHomeSite(links::HomeSite())) {
    HttpClient1->Proxy = ToWin1251(Proxy_name->text());
    HttpClient1->ProxyPort = ProxyPortNumber(Proxy_port->text());
  } else {
    // An unticked box means no proxy, whatever an earlier lookup set.
    HttpClient1->Proxy.clear();
    HttpClient1->ProxyPort = 0;
  }
  const TRecentLookup lookup{ipaddress->text(), TickedReports()};
  MakeFolderOf(HttpClient1->Header);
  try {
    HttpClient1->Get(ServiceUrl(links::HomeSite(), ToWin1251(lookup.Address), lookup.Options));
  } catch (...) {
    // A lookup stopped on purpose is no error.
    if (LookupStopped()) return ReportStopped();
    throw;
  }
  if (LookupStopped()) return ReportStopped();
  // A refused address, or a refused lookup, is nothing to offer again.
  if (IsReportPage(HttpClient1->ReplyNumber)) AddressHistory->Remember(lookup);

  PageControl1->setCurrentIndex(1);
  const std::string resultPath = ResultFilePath();
  WriteResultFile(resultPath, Memo1->Text());
  WebBrowser1->Navigate(resultPath);
  WebBrowser1->SuggestedName = SaveName(lookup.Address, QDate::currentDate());
  SpeedButton1->setEnabled(true);
  SpeedButton2->setEnabled(true);
  // Whether it was there or could go is of no matter to the user.
  std::remove(HttpClient1->Header.c_str());
  LookupWait->Done();
}

void TForm1::ReportStopped() {
  // A closing window has nobody left to tell.
  if (FCancelRequested && !FCloseRequested) ShowStatus(kCancelled);
}

void TForm1::CancelLookup() {
  if (!FLookupRunning || LookupStopped()) return;
  FCancelRequested = true;
  FSite.StopWaiting();
  HttpClient1->Abort();
}

TLookupOptions TForm1::TickedReports() const {
  TLookupOptions options;
  options.dom_whois = dom_whois->isChecked();
  options.dom_dns = dom_dns->isChecked();
  options.traceroute = traceroute->isChecked();
  options.net_whois = net_whois->isChecked();
  options.port_scan = port_scan->isChecked();
  return options;
}

void TForm1::TickReports(const TLookupOptions& options) {
  dom_whois->setChecked(options.dom_whois);
  dom_dns->setChecked(options.dom_dns);
  traceroute->setChecked(options.traceroute);
  net_whois->setChecked(options.net_whois);
  port_scan->setChecked(options.port_scan);
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!FLookupRunning) return QWidget::closeEvent(event);
  event->ignore();
  if (FCloseRequested) return;
  FCloseRequested = true;
  if (FCancelRequested) return;
  FSite.StopWaiting();
  HttpClient1->Abort();
}

void TForm1::CheckBox1Click() {
  SetProxyFieldEnabled(Proxy_name, CheckBox1->isChecked());
  SetProxyFieldEnabled(Proxy_port, CheckBox1->isChecked());
}

void TForm1::SetProxyFieldEnabled(QLineEdit* field, bool enabled) {
  field->setEnabled(enabled);
  // The window-background colour when on; when off, the button-face colour,
  // which is what the classic desktop gives inactive caption text.
  const QPalette app = QGuiApplication::palette();
  const QColor background = enabled ? app.color(QPalette::Active, QPalette::Base) : app.color(QPalette::Active, QPalette::Button);
  QPalette palette = field->palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) palette.setColor(group, QPalette::Base, background);
  field->setPalette(palette);
}

void TForm1::SpeedButton1Click() { WebBrowser1->SaveAs(); }
void TForm1::SpeedButton2Click() { WebBrowser1->PrintPreview(); }

void TForm1::ShowStatus(const QString& text) { StatusBar1->showMessage(text); }

void TForm1::HttpClient1Connect(TComponent*) { ShowStatus(QStringLiteral("Соединение установлено")); }
void TForm1::HttpClient1HostResolved(TComponent*) { ShowStatus(QStringLiteral("Сервер найден")); }
void TForm1::HttpClient1Disconnect(TComponent*) { ShowStatus(QStringLiteral("Соединение разорвано")); }
void TForm1::HttpClient1ConnectionFailed(TComponent*) {
  QString text = QStringLiteral("Не удалость установить соединение");
  // The proxy is the one place the user can mend.
  if (!HttpClient1->Proxy.empty())
    text += QStringLiteral(" с прокси сервером %1:%2").arg(FromWin1251(HttpClient1->Proxy)).arg(HttpClient1->ProxyPort);
  ShowMessageBox({nullptr, QMessageBox::NoIcon, ApplicationTitle(), text});
}

void TForm1::HttpClient1Status(TComponent*, const std::string& Status) {
  ShowStatus(FromWin1251(Status));
  if (HttpClient1->ReplyNumber == 404) ShowStatus(QStringLiteral("Объект не найден"));
}

void TForm1::HttpClient1PacketRecvd(TComponent*) {
  ShowStatus(QString::number(HttpClient1->BytesRecvd) + QStringLiteral(" байт получено"));
}

void TForm1::HttpClient1PacketSent(TComponent*) {
  ShowStatus(QString::number(HttpClient1->BytesSent) + QStringLiteral(" байт послано"));
}

void TForm1::HttpClient1Success(CmdType) {
  // The header text goes in first, as the client's settings make it a file
  // name; the body then replaces it.
  Memo1->SetText(HttpClient1->Header);
  Memo1->SetText(HttpClient1->Body);
}

void TForm1::HttpClient1Failure(CmdType Cmd) {
  Memo1->SetText(HttpClient1->Header);
  Memo1->SetText(HttpClient1->Body);
  switch (Cmd) {
    case cmdGet: return ShowStatus(QStringLiteral("HTTP GET Failed"));
    case cmdOptions: return ShowStatus(QStringLiteral("HTTP OPTIONS Failed"));
    case cmdHead: return ShowStatus(QStringLiteral("HTTP HEAD Failed"));
    case cmdPost: return ShowStatus(QStringLiteral("HTTP Post Failed"));
    case cmdPut: return ShowStatus(QStringLiteral("HTTP PUT Failed"));
    case cmdDelete: return ShowStatus(QStringLiteral("HTTP Delete Failed"));
    case cmdTrace: return ShowStatus(QStringLiteral("HTTP TRACE Failed"));
    // The other commands have no text: the status line keeps what it shows.
    case cmdPatch:
    case cmdCopy:
    case cmdMove:
    case cmdLink:
    case cmdUnlink: return;
  }
}
