// The lookup query as the window and browsers send it, decoded into a target
// and ticked reports, or refused with a reason.
#include "page/LookupRequest.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace site;

namespace {

struct Row {
  const char* Name;
  std::string Query;
  std::string Input;   // as shown on the page; empty: refused
  std::string Domain;  // ASCII form; empty for an IPv4 address
  std::optional<std::uint32_t> Ipv4;
  const char* Refusal = "";  // for a refused row: part of the reason the page gives
};

const Row kRows[] = {
    {"plain", "addr=example.test&dom_whois=&dom_dns=true&traceroute=&net_whois=&port_scan=", "example.test", "example.test", {}},
    {"upper case folded", "addr=Example.TEST", "Example.TEST", "example.test", {}},
    {"trailing dot", "addr=example.test.", "example.test.", "example.test", {}},
    {"cp1251 as the window sends", "addr=\xEF\xF0\xE8\xEC\xE5\xF0.\xF0\xF4", "пример.рф", "xn--e1afmkfd.xn--p1ai", {}},
    {"cp1251 percent-encoded", "addr=%EF%F0%E8%EC%E5%F0.%F0%F4", "пример.рф", "xn--e1afmkfd.xn--p1ai", {}},
    {"utf-8 from a browser", "addr=%D0%BF%D1%80%D0%B8%D0%BC%D0%B5%D1%80.%D1%80%D1%84", "пример.рф", "xn--e1afmkfd.xn--p1ai", {}},
    {"cp1251 upper case", "addr=\xCF\xD0\xC8\xCC\xC5\xD0.\xD0\xD4", "ПРИМЕР.РФ", "xn--e1afmkfd.xn--p1ai", {}},
    {"blanks trimmed", "addr=%20%09example.test%20%20", "example.test", "example.test", {}},
    {"no-break space trimmed", "addr=%C2%A0example.test", "example.test", "example.test", {}},
    {"cp1251 no-break space trimmed", "addr=%A0example.test", "example.test", "example.test", {}},
    {"ipv4", "addr=192.0.2.33&dom_dns=true", "192.0.2.33", "", 0xC0000221},
    {"ipv4 with blanks", "addr=%20127.0.0.1%20", "127.0.0.1", "", 0x7F000001},
    {"ipv4 behind a soft hyphen", "addr=%AD192.0.2.33", "\xC2\xAD" "192.0.2.33", "", 0xC0000221},
    {"first addr wins", "addr=one.test&addr=two.test", "one.test", "one.test", {}},
    {"unknown keys ignored", "x=1&addr=one.test&dom_dns=true&utm=2", "one.test", "one.test", {}},
    {"long label", "addr=" + std::string(63, 'a') + ".test", std::string(63, 'a') + ".test", std::string(63, 'a') + ".test", {}},
    // Refused:
    {"no addr key", "dom_dns=true", "", "", {}, "Адрес не указан"},
    {"empty", "addr=&dom_dns=true", "", "", {}, "Адрес не указан"},
    {"only blanks", "addr=%20%20", "", "", {}, "Адрес не указан"},
    {"an ampersand split off by the window", "addr=a&b.test&dom_whois=true", "", "", {}, "только буквы, цифры, дефисы и точки"},
    {"an equals sign", "addr=a=b.test&dom_whois=true", "", "", {}, "только буквы, цифры, дефисы и точки"},
    {"plus stays plus", "addr=a+b.test", "", "", {}, "только буквы, цифры, дефисы и точки"},
    {"space inside", "addr=exa%20mple.test", "", "", {}, "только буквы, цифры, дефисы и точки"},
    {"three parts", "addr=1.2.3", "", "", {}, "Неверный адрес IPv4"},
    {"octet past 255", "addr=256.1.1.1", "", "", {}, "Неверный адрес IPv4"},
    {"leading zero", "addr=010.1.1.1", "", "", {}, "Неверный адрес IPv4"},
    {"five parts", "addr=1.2.3.4.5", "", "", {}, "Неверный адрес IPv4"},
    {"full-width digits of no ipv4 address", "addr=%EF%BC%91%EF%BC%92%EF%BC%93", "", "", {}, "Неверный адрес IPv4"},
    {"empty label", "addr=a..test", "", "", {}, "пустая часть между точками"},
    {"leading dot", "addr=.test", "", "", {}, "пустая часть между точками"},
    {"label too long", "addr=" + std::string(64, 'a') + ".test", "", "", {}, "не более 63 знаков между точками"},
    {"name too long", "addr=" + std::string(60, 'a') + "." + std::string(60, 'b') + "." + std::string(60, 'c') + "." + std::string(60, 'd') + "." + std::string(10, 'e') + ".test", "", "", {}, "Доменное имя слишком длинное"},
    {"hyphen at a label's edge", "addr=-a.test", "", "", {}, "только буквы, цифры, дефисы и точки"},
    {"underscore", "addr=a_b.test", "", "", {}, "только буквы, цифры, дефисы и точки"},
    {"html", "addr=%3Cscript%3E.test", "", "", {}, "только буквы, цифры, дефисы и точки"},
    {"line feed", "addr=a.test%0D%0AX:1", "", "", {}, "управляющие символы"},
    {"NUL byte", "addr=a.test%00", "", "", {}, "управляющие символы"},
    {"byte with no cp1251 character", "addr=a%98.test", "", "", {}, "ни в UTF-8, ни в Windows-1251"},
    {"overlong utf-8 taken as cp1251, then not a name", "addr=%C0%AE.test", "", "", {}, "ни доменным именем, ни адресом IPv4"},
    {"huge", "addr=" + std::string(5000, 'a'), "", "", {}, "Адрес слишком длинный"},
};

TEST(SiteRequest, DecodesOrRefusesEachRow) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.Name);
    if (*row.Refusal) {
      try {
        ParseLookupQuery(row.Query, 253);
        ADD_FAILURE() << "accepted";
      } catch (const BadAddress& e) {
        EXPECT_NE(std::string(e.what()).find(row.Refusal), std::string::npos) << row.Name << ": " << e.what();
      }
      continue;
    }
    const LookupRequest request = ParseLookupQuery(row.Query, 253);
    EXPECT_EQ(request.Address.Input, row.Input);
    EXPECT_EQ(request.Address.Domain, row.Domain);
    EXPECT_EQ(request.Address.Ipv4, row.Ipv4);
  }
}

TEST(SiteRequest, TicksOnlyOptionsSetToTrue) {
  const LookupRequest request =
      ParseLookupQuery("addr=example.test&dom_whois=true&dom_dns=&traceroute=TRUE&net_whois=1&port_scan=true", 253);
  EXPECT_EQ(request.Wanted, (std::array<bool, kReportCount>{true, false, false, false, true}));
  EXPECT_EQ(ParseLookupQuery("addr=example.test", 253).Wanted, (std::array<bool, kReportCount>{}));
}

}  // namespace
