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
  std::string Domain;  // ASCII form; empty for an address
  std::optional<std::uint32_t> Ipv4;
  const char* Refusal = "";  // for a refused row: part of the reason the page gives
  const char* Ipv6 = "";     // the address's canonical (RFC 5952) text
  std::uint32_t As = 0;      // an autonomous system's number
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
    {"ipv6 compressed", "addr=2001:db8::1", "2001:db8::1", "", {}, "", "2001:db8::1"},
    {"ipv6 in full with leading zeros, upper case", "addr=2001:0DB8:0000:0000:0000:0000:0000:0001", "2001:0DB8:0000:0000:0000:0000:0000:0001", "", {}, "", "2001:db8::1"},
    {"ipv6 in brackets", "addr=[2001:DB8::1]", "[2001:DB8::1]", "", {}, "", "2001:db8::1"},
    {"ipv6 with blanks", "addr=%20::1%20", "::1", "", {}, "", "::1"},
    {"ipv6 with an ipv4 tail", "addr=::ffff:192.0.2.33", "::ffff:192.0.2.33", "", {}, "", "::ffff:192.0.2.33"},
    {"ipv6 mapped, spelt in hex", "addr=::FFFF:C000:221", "::FFFF:C000:221", "", {}, "", "::ffff:192.0.2.33"},
    {"ipv6 a lone zero group stays", "addr=2001:db8:0:1:1:1:1:1", "2001:db8:0:1:1:1:1:1", "", {}, "", "2001:db8:0:1:1:1:1:1"},
    {"ipv6 the longer zero run shortened", "addr=2001:0:0:1:0:0:0:1", "2001:0:0:1:0:0:0:1", "", {}, "", "2001:0:0:1::1"},
    {"ipv6 the first of equal zero runs shortened", "addr=2001:db8:0:0:1:0:0:1", "2001:db8:0:0:1:0:0:1", "", {}, "", "2001:db8::1:0:0:1"},
    {"as number", "addr=AS15169&net_whois=true", "AS15169", "", {}, "", "", 15169},
    {"as number in lower case", "addr=as15169", "as15169", "", {}, "", "", 15169},
    {"as number alone", "addr=15169", "15169", "", {}, "", "", 15169},
    {"as number, the largest", "addr=AS4294967295", "AS4294967295", "", {}, "", "", 4294967295u},
    {"a name starting with as", "addr=as15169.test", "as15169.test", "as15169.test", {}},
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
    {"ipv6 zone index", "addr=fe80::1%25eth0", "", "", {}, "указанием зоны"},
    {"ipv6 zone index in brackets", "addr=[fe80::1%25eth0]", "", "", {}, "указанием зоны"},
    {"ipv6 nine groups", "addr=1:2:3:4:5:6:7:8:9", "", "", {}, "Неверный адрес IPv6"},
    {"ipv6 two double colons", "addr=2001::db8::1", "", "", {}, "Неверный адрес IPv6"},
    {"ipv6 five digits in a group", "addr=2001:00db8::1", "", "", {}, "Неверный адрес IPv6"},
    {"ipv6 not hexadecimal", "addr=2001:db8::g1", "", "", {}, "Неверный адрес IPv6"},
    {"ipv6 ipv4 tail with a leading zero", "addr=::ffff:192.0.2.033", "", "", {}, "Неверный адрес IPv6"},
    {"ipv6 ipv4 tail not last", "addr=::192.0.2.1:1", "", "", {}, "Неверный адрес IPv6"},
    {"ipv6 bracket not closed", "addr=[2001:db8::1", "", "", {}, "квадратные скобки"},
    {"ipv6 with a port", "addr=[2001:db8::1]:80", "", "", {}, "квадратные скобки"},
    {"as number zero", "addr=AS0", "", "", {}, "номер автономной системы"},
    {"as number too large", "addr=4294967296", "", "", {}, "номер автономной системы"},
    {"as number with a leading zero", "addr=AS015169", "", "", {}, "номер автономной системы"},
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
    EXPECT_EQ(request.Address.Ipv6 ? request.Address.Ipv6->to_string() : "", row.Ipv6);
    EXPECT_EQ(request.Address.As.value_or(0), row.As);
  }
}

TEST(SiteRequest, TicksOnlyOptionsSetToTrue) {
  const LookupRequest request =
      ParseLookupQuery("addr=example.test&dom_whois=true&dom_dns=&traceroute=TRUE&net_whois=1&port_scan=true", 253);
  EXPECT_EQ(request.Wanted, (std::array<bool, kReportCount>{true, false, false, false, true}));
  EXPECT_EQ(ParseLookupQuery("addr=example.test", 253).Wanted, (std::array<bool, kReportCount>{}));
}

}  // namespace
