#include "Application.h"

#include "Dialogs.h"
#include "Toolkit.h"
#include "WindowStyle.h"

#include <QHash>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// Qt's own translations of its widgets' texts and of the page view's menu.
constexpr const char* kTranslations[] = {"qtbase_ru", "qtwebengine_ru"};

// Qt 6 moved the file kinds that the save dialog's "Тип" column shows into a
// context of their own, which the Russian translation of this Qt does not
// have yet, so "Folder" stayed English; a file's kind is its MIME type's
// comment, which is Russian already.
class TFileKindTranslator : public QTranslator {
public:
  using QTranslator::QTranslator;
  bool isEmpty() const override { return false; }
  QString translate(const char* context, const char* sourceText, const char*, int) const override {
    if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
    static const QHash<QByteArray, QString> kinds = {
        {"Drive", QStringLiteral("Диск")},
        {"Folder", QStringLiteral("Папка")},
        {"Shortcut", QStringLiteral("Ярлык")},
        {"Unknown", QStringLiteral("Неизвестно")},
    };
    return kinds.value(sourceText);
  }
};

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setStyle(new TWindowStyle);
  // Every text of the window is Russian, so the toolkit's own texts (dialog
  // buttons, the save dialog, the view's menu) are too, whatever the
  // system's locale; the page view's engine takes its language from here.
  QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  for (const char* name : kTranslations) {
    auto* translator = new QTranslator(this);
    // A missing file leaves those texts in English; the program works the same.
    if (translator->load(QString::fromLatin1(name), folder)) installTranslator(translator);
    else delete translator;
  }
  installTranslator(new TFileKindTranslator(this));
  SetApplicationExceptionHandler([](TComponent*, const std::exception& e) { ShowErrorBox(e.what()); });
}

TApplication::~TApplication() { SetApplicationExceptionHandler(nullptr); }

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception&) {
    HandleApplicationException(nullptr);
  } catch (...) {
    ShowErrorBox("Unknown exception");
  }
  return false;
}
