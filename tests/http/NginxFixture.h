#pragma once
// A real nginx serving the pages the HTTP tests ask for: a page, a 404, 301
// and 302 redirects (absolute and path-only), a folder behind auth_basic, and
// names with blanks and high bytes. Large files are written by the tests that
// need them.

#include "NginxServer.h"

#include <gtest/gtest.h>

#include <string>

inline const std::string IndexPage = "<html><body>index page</body></html>\n";
inline const std::string PrivatePage = "<html><body>private page</body></html>\n";

class NginxFixture : public testing::Test {
protected:
  void SetUp() override {
    const TempDir& dir = nginx.Dir();
    dir.WriteFile("www/index.html", IndexPage);
    dir.WriteFile("www/private/page.html", PrivatePage);
    dir.WriteFile("www/sp ace.html", "blank in the name");
    dir.WriteFile("www/caf\xE9.html", "high byte in the name");
    dir.WriteFile("htpasswd", "user:{PLAIN}secret\n");
    std::string error;
    ASSERT_TRUE(nginx.Start("location = /abs { return 301 http://$host:$server_port/index.html; }\n"
                            "location = /rel { absolute_redirect off; return 302 /index.html; }\n"
                            "location = /to-private { absolute_redirect off; return 302 /private/page.html; }\n"
                            "location /private/ { auth_basic \"Tarnwell\"; auth_basic_user_file " +
                                dir.File("htpasswd") + "; }\n",
                            &error))
        << error;
  }

  NginxServer nginx;
};
