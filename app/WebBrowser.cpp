#include "WebBrowser.h"

#include "Dialogs.h"
#include "Toolkit.h"
#include "Win1251.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QShortcut>
#include <QStandardPaths>
#include <QLoggingCategory>
#include <QOpenGLContext>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QVBoxLayout>
#include <QWindow>
#include <dlfcn.h>
#include <unistd.h>

// The toolkit's own setter of the context that every OpenGL context shares
// with; it is exported but left out of the public headers, and the browser
// engine's library calls it the same way.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace {

// Found through the program's run path: beside it in the build tree, in the
// library folder of an installed one.
constexpr char kViewModule[] = "tarnwell_view.so";

// A print preview renders every page at this resolution; the printer's high
// resolution makes a preview of a few pages take seconds.
constexpr int kPrintDpi = 300;

// The engine draws in OpenGL contexts that share their objects with the
// toolkit's. The toolkit makes the shared context with the application object
// when asked to; that costs as long as the window takes to show, so it is made
// here instead, after the window is on screen and before the engine loads.
// Made even when it fails to start, as the toolkit does: the engine then
// draws in software.
void ShareOpenGLContexts() {
  if (QOpenGLContext::globalShareContext()) return;
  auto* context = new QOpenGLContext(qApp);
  context->create();
  qt_gl_set_global_share_context(context);
}

TMakeResultView LoadViewModule() {
  // dlmopen into the program's own namespace is dlopen, but the address
  // sanitizer's wrapper of dlopen makes itself the caller, whose run path the
  // loader then searches instead of ours. Never unloaded: the engine's
  // threads outlive any view.
  void* module = dlmopen(LM_ID_BASE, kViewModule, RTLD_NOW | RTLD_LOCAL);
  if (!module) throw Exception(std::string("Cannot load the page view: ") + dlerror());
  auto* make = reinterpret_cast<TMakeResultView>(dlsym(module, kMakeResultView));
  if (!make) throw Exception(std::string("Cannot load the page view: ") + dlerror());
  return make;
}

}  // namespace

TWebBrowser::TWebBrowser(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  // Wherever the focus is: the page's own window takes the keys while it is read.
  auto* find = new QShortcut(QKeySequence::Find, this);
  find->setContext(Qt::ApplicationShortcut);
  connect(find, &QShortcut::activated, this, &TWebBrowser::OpenFind);
}

TWebBrowser::~TWebBrowser() {
  // The view's native window sits in a container among this widget's
  // children; it has to go before they do.
  FView.reset();
}

void TWebBrowser::PrepareEngine() {
  if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  // The engine reports its whole set-up on every start; QT_LOGGING_RULES,
  // which takes precedence over these rules, brings it back.
  QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\nqt.webenginecontext.debug=false"));
}

void TWebBrowser::Start() {
  if (Started()) return;
  ShareOpenGLContexts();
  const TMakeResultView make = LoadViewModule();
  TResultViewEvents events;
  events.OnLoaded = [this](bool ok) {
    // The view's own window takes the keys once its container has the focus;
    // giving the container the focus while that window has it already would
    // hand it back to the window around it.
    if (ok && isVisible() && QGuiApplication::focusWindow() != FView->Window()) FContainer->setFocus(Qt::OtherFocusReason);
    emit Loaded(ok);
  };
  events.OnSaveFailed = [](const QString& reason) { ShowErrorBox(ToWin1251(reason)); };
  // Queued: the menu that asks for them has to close before a modal dialog opens.
  events.OnSaveRequested = [this] { QMetaObject::invokeMethod(this, &TWebBrowser::SaveAs, Qt::QueuedConnection); };
  events.OnPrintRequested = [this] {
    QMetaObject::invokeMethod(this, &TWebBrowser::PrintPreview, Qt::QueuedConnection);
  };
  events.OnLinkClicked = [this](const QUrl& target) { emit LinkClicked(target.toString(QUrl::FullyEncoded).toStdString()); };
  FView.reset(make(std::move(events)));
  FContainer = QWidget::createWindowContainer(FView->Window(), this);
  layout()->addWidget(FContainer);
}

void TWebBrowser::Navigate(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) throw EFOpenError(path);
  const QByteArray page = file.read(MaxPageSize + 1);
  if (page.size() > MaxPageSize)
    throw Exception("Cannot show file " + path + ": it is larger than " + std::to_string(MaxPageSize) + " bytes");
  Start();
  FView->Show(page);
}

void TWebBrowser::SaveAs() {
  if (!Started()) return;
  QFileDialog dialog(window());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilters({QStringLiteral("HTML (*.html *.htm)"),
                         QStringLiteral("MHTML (*.mht *.mhtml)")});
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  dialog.setDirectory(QFileInfo(documents).isDir() ? documents : QDir::homePath());
  if (!SuggestedName.isEmpty()) dialog.selectFile(SuggestedName);
  if (RunDialog(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  QString path = dialog.selectedFiles().constFirst();
  const QString suffix = QFileInfo(path).suffix().toLower();
  bool archive = suffix == QStringLiteral("mht") || suffix == QStringLiteral("mhtml");
  if (suffix.isEmpty()) {
    archive = dialog.selectedNameFilter().contains(QStringLiteral("*.mht"));
    path += archive ? QStringLiteral(".mht") : QStringLiteral(".html");
  }
  FView->Save(path, archive);
}

void TWebBrowser::PrintPreview() {
  if (!Started()) return;
  QPrinter printer;
  printer.setResolution(kPrintDpi);
  QPrintPreviewDialog dialog(&printer, window());
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* target) { FView->Print(target); });
  RunDialog(dialog);
}

void TWebBrowser::OpenFind() {
  if (!Started() || !isVisible()) return;
  if (!FFindField) {
    FFindField = new QLineEdit(this);
    FFindField->setPlaceholderText(QStringLiteral("Найти на странице"));
    FFindField->installEventFilter(this);
    connect(FFindField, &QLineEdit::textEdited, this, [this] { FindText(false); });
    layout()->addWidget(FFindField);
  }
  FFindField->show();
  FFindField->setFocus(Qt::ShortcutFocusReason);
  FFindField->selectAll();
}

void TWebBrowser::CloseFind() {
  FFindField->hide();
  FView->Find(QString(), false, [](bool) {});
  FContainer->setFocus(Qt::OtherFocusReason);
}

void TWebBrowser::FindText(bool backward) {
  // Only the latest search marks the field: the engine answers one it has
  // dropped for a newer search as if nothing were found.
  const int search = ++FSearches;
  FView->Find(FFindField->text(), backward, [self = QPointer<TWebBrowser>(this), search](bool found) {
    if (!self || search != self->FSearches) return;
    QLineEdit* field = self->FFindField;
    if (found || field->text().isEmpty()) return field->setPalette(QPalette());
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, QColor(0xFF, 0xCC, 0xCC));
    field->setPalette(palette);
  });
}

bool TWebBrowser::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FFindField && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape) {
      CloseFind();
      return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      FindText(key->modifiers() & Qt::ShiftModifier);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TWebBrowser::PageText(std::function<void(const QString&)> answer) {
  if (!Started()) return answer(QString());
  FView->PageText(std::move(answer));
}
