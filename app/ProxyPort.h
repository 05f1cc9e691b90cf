#pragma once
// The proxy's port as the settings page takes it: digits only, a number from
// 1 to 65535, checked as one types.

#include <QString>
#include <QValidator>

// Acceptable for such a number; Intermediate for an empty text or one with a
// leading zero; Invalid for anything else (a letter, a sign, a blank, a
// number past 65535), which the field then refuses to take.
QValidator::State ProxyPortState(const QString& text);

// The port the text gives; fails with an Exception in Russian when it gives
// none.
int ProxyPortNumber(const QString& text);

class TProxyPortValidator : public QValidator {
public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override { return ProxyPortState(input); }
};
