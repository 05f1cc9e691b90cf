#include "server/HomePages.h"

#include "page/PageFrame.h"
#include "Providers.h"

namespace site {

namespace {

void ProviderList(Html& page) {
  page.Tag("<ul>\n");
  for (const auto& provider : providers::kProviders)
    page.Tag("<li><a href=\"/hosting/desc/").Text(provider.Slug).Tag(".shtml\">").Text(provider.Name).Tag("</a></li>\n");
  page.Tag("</ul>\n");
}

}  // namespace

std::string AboutPage() {
  Html page;
  BeginPage(page, "Tarnwell");
  page.Tag(R"(<h1>Tarnwell</h1>
<p>Tarnwell — небольшая бесплатная программа для Linux, которая показывает, что открыто известно о домене или адресе IPv4:
кому принадлежит домен и когда он зарегистрирован, его записи DNS, путь до адреса, сведения о сети, которой он принадлежит,
и какие из распространённых служб на нём открыты.</p>
<h2>Как получить программу</h2>
<p>Программа собирается из исходных текстов на Debian 12 одной командой <code>bash scripts/run.sh</code>:
она ставит нужные пакеты, собирает программу и запускает её окно. <code>cmake --install</code> ставит программу в систему.</p>
<h2>Как это работает</h2>
<p>Окно программы отправляет один запрос HTTP на домашний сайт — эту службу, <code>tarnwell-site</code>. Служба выполняет
отмеченные проверки одновременно и отвечает одной страницей. Если домашний сайт не указан, окно само запускает службу
на своём компьютере, и проверки идут оттуда.</p>
<h2>Свой домашний сайт</h2>
<p>Службу можно поставить на свой сервер: <code>tarnwell-site --listen 127.0.0.1:8080</code> за nginx, как описано в README.
Окна направляются на неё параметром <code>--home-site ХОСТ[:ПОРТ]</code>, переменной окружения <code>TARNWELL_HOME_SITE</code>
или ключом <code>HomeSite</code> в файле <code>~/.config/tarnwell/tarnwell.conf</code>.</p>
<h2>Хостинг</h2>
)");
  ProviderList(page);
  EndPage(page);
  return page.Take();
}

std::string ClickPage() {
  Html page;
  BeginPage(page, "Tarnwell: как занять имя");
  page.Tag(R"(<h1>Выбрали имя? Займите его быстрей</h1>
<p>Доменное имя достаётся тому, кто первым его зарегистрирует. Проверьте в окне Tarnwell («Информация о домене»),
что имя свободно, и зарегистрируйте его у аккредитованного регистратора зоны — для .ru и .рф, например, у любого
регистратора из списка Координационного центра доменов.</p>
<p>Перед регистрацией стоит убедиться, что имя не нарушает чужих товарных знаков, и сразу решить, где будет
размещаться сайт. Несколько хостингов:</p>
)");
  ProviderList(page);
  EndPage(page);
  return page.Take();
}

std::optional<std::string> ProviderPage(std::string_view slug) {
  for (const auto& provider : providers::kProviders) {
    if (slug != provider.Slug) continue;
    Html page;
    BeginPage(page, std::string("Tarnwell: хостинг ") + provider.Name);
    page.Tag("<h1>").Text(provider.Name).Tag("</h1>\n<p>")
        .Text(std::string("Хостинг ") + provider.Name + " — один из хостингов, которые мы советуем. Условия, тарифы и заказ — на его сайте:")
        .Tag("</p>\n<p><a href=\"").Text(provider.PartnerPage).Tag("\">").Text(provider.PartnerPage).Tag("</a></p>\n")
        .Tag("<p><a href=\"/?ii=1\">О программе Tarnwell</a></p>\n");
    EndPage(page);
    return page.Take();
  }
  return std::nullopt;
}

}  // namespace site
