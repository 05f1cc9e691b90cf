#pragma once
// The hidden text buffer that carries a reply from the client's result events
// to the result file. It holds the page as bytes, NUL bytes included, because a
// text control would cut the page at the first NUL; it is never shown, so the
// bytes are not mirrored into the visible text.

#include <QPlainTextEdit>
#include <string>

class TMemo : public QPlainTextEdit {
  Q_OBJECT
public:
  explicit TMemo(QWidget* parent = nullptr) : QPlainTextEdit(parent) {}

  const std::string& Text() const { return FText; }
  void SetText(std::string text) { FText = std::move(text); }

private:
  std::string FText;
};
