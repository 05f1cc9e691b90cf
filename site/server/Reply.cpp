#include "server/Reply.h"

#include "page/PageFrame.h"

namespace site {

namespace {

const char* ErrorTitle(unsigned status) {
  switch (status) {
    case 400: return "Неверный запрос";
    case 404: return "Страница не найдена";
    case 405: return "Метод не поддерживается";
    case 429: return "Слишком много запросов";
    case 431: return "Слишком длинный запрос";
    case 500: return "Внутренняя ошибка службы";
    case 503: return "Служба занята";
    default: return "Ошибка";
  }
}

}  // namespace

Reply ErrorReply(unsigned status, std::string reason, std::string logNote) {
  return Reply{status, MessagePage(ErrorTitle(status), reason), {}, std::move(logNote)};
}

}  // namespace site
