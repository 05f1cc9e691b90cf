#include "page/PageFrame.h"

namespace site {

namespace {

constexpr std::string_view kStyle = R"(
body { font: 15px/1.45 "Liberation Sans", Arial, sans-serif; color: #1d2430; background: #fbfbf8; margin: 0 auto; max-width: 60em; padding: 1em 1.5em 3em; }
h1 { font-size: 1.6em; margin: .3em 0 .1em; word-break: break-all; }
h2 { font-size: 1.2em; margin: 1.6em 0 .4em; padding-bottom: .2em; border-bottom: 2px solid #c9d3e0; }
p.ascii { color: #5b6575; margin: 0 0 1em; }
p.outcome { margin: .2em 0 .6em; font-weight: bold; }
p.done { color: #2f6b2f; } p.failed { color: #a12a2a; } p.timedout { color: #9a6200; }
p.note { font-style: italic; }
table { border-collapse: collapse; margin: .4em 0 .8em; }
th, td { border: 1px solid #c9d3e0; padding: .2em .6em; text-align: left; vertical-align: top; }
th { background: #eef2f7; }
pre { background: #f1f1ec; border: 1px solid #dcdcd2; padding: .6em .8em; overflow-x: auto; white-space: pre-wrap; word-break: break-all; font-size: 13px; }
a { color: #1a4fa0; }
footer { margin-top: 2.5em; color: #5b6575; font-size: .9em; }
)";

}  // namespace

void BeginPage(Html& page, std::string_view title) {
  page.Tag("<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n<title>")
      .Text(title)
      .Tag("</title>\n<style>")
      .Tag(kStyle)
      .Tag("</style>\n</head>\n<body>\n");
}

void EndPage(Html& page) { page.Tag("<footer>Tarnwell</footer>\n</body>\n</html>\n"); }

std::string MessagePage(std::string_view title, std::string_view text) {
  Html page;
  BeginPage(page, title);
  page.Tag("<h1>").Text(title).Tag("</h1>\n<p>").Text(text).Tag("</p>\n");
  EndPage(page);
  return page.Take();
}

}  // namespace site
