#include "page/PageFrame.h"

namespace site {

namespace {

// On screen the frame around the content is plain blocks; in print it is the
// table whose heading row Chromium repeats at the top of every page, even when
// one cell runs over many pages, which a fixed-position header cannot do
// without covering the text it runs over. The gap under that heading is the
// table's row spacing, which the engine keeps on every page; a cell's padding
// would only be there on the first. Inside such a table the engine cannot
// split multi-column text across pages: the columns lose their last lines and
// widen the page, which shrinks the whole print, so raw text prints in one
// column. Raw text wraps between words and cuts a word only when it alone is
// wider than the line, so a number in a trace's times never falls apart
// across two lines.
constexpr std::string_view kStyle = R"(
body { font: 15px/1.45 "Liberation Sans", Arial, sans-serif; color: #1d2430; background: #fbfbf8; margin: 0 auto; max-width: 60em; padding: 1em 1.5em 3em; }
table.frame, table.frame > tbody, table.frame > tbody > tr, table.frame > tbody > tr > td { display: block; margin: 0; padding: 0; border: 0; }
table.frame > thead { display: none; }
h1 { font-size: 1.6em; margin: .3em 0 .1em; word-break: break-all; }
h2 { font-size: 1.2em; margin: 1.6em 0 .4em; padding-bottom: .2em; border-bottom: 2px solid #c9d3e0; }
p.ascii { color: #5b6575; margin: 0 0 1em; }
p.outcome { margin: .2em 0 .6em; font-weight: bold; }
p.done { color: #2f6b2f; } p.failed { color: #a12a2a; } p.timedout { color: #9a6200; }
p.note { font-style: italic; }
table { border-collapse: collapse; margin: .4em 0 .8em; }
th, td { border: 1px solid #c9d3e0; padding: .2em .6em; text-align: left; vertical-align: top; }
th { background: #eef2f7; }
pre { background: #f1f1ec; border: 1px solid #dcdcd2; padding: .6em .8em; overflow-x: auto; white-space: pre-wrap; overflow-wrap: anywhere; font-size: 13px; }
a { color: #1a4fa0; }
div.changes { border-left: 3px solid #c9d3e0; padding: .1em 0 .1em .8em; margin: .6em 0; }
div.changes ul { margin: .2em 0; padding-left: 1.2em; }
li.warning { color: #a12a2a; font-weight: bold; }
p.history-off { color: #9a6200; }
footer { margin-top: 2.5em; color: #5b6575; font-size: .9em; }
@media print {
  @page { size: A4; margin: 10mm 12mm 12mm; }
  body { font-size: 9.5pt; line-height: 1.3; color: #000; background: none; max-width: none; padding: 0; }
  table.frame { display: table; width: 100%; margin: 0; border-collapse: separate; border-spacing: 0 2mm; }
  table.frame > thead { display: table-header-group; }
  table.frame > tbody { display: table-row-group; }
  table.frame > tbody > tr { display: table-row; }
  table.frame > thead > tr > td, table.frame > tbody > tr > td { display: table-cell; border: 0; padding: 0; }
  table.frame > thead > tr > td { font-size: 8pt; color: #333; border-bottom: .5pt solid #666; padding-bottom: 1.5mm; }
  h1 { font-size: 14pt; margin: 0; }
  h2 { font-size: 11pt; margin: 4mm 0 1.5mm; border-bottom: .5pt solid #666; break-after: avoid; }
  p { margin: 0 0 1.5mm; }
  p.outcome { break-after: avoid; }
  p.done, p.failed, p.timedout, p.ascii, a { color: #000; }
  table { margin: 1mm 0 2mm; }
  th, td { border: .5pt solid #999; padding: .3mm 1.5mm; }
  th { background: none; }
  tr { break-inside: avoid; }
  pre { font: 7pt/1.2 "Liberation Mono", "DejaVu Sans Mono", monospace; background: none; border: 0; padding: 0; overflow: visible;
        word-break: normal; overflow-wrap: anywhere; }
  div.changes { border-left: .5pt solid #666; break-inside: avoid; }
  li.warning { color: #000; }
  li.warning::before { content: "⚠ "; }
  footer { display: none; }
}
)";

}  // namespace

void BeginPage(Html& page, std::string_view title, std::string_view running) {
  page.Tag("<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n<title>")
      .Text(title)
      .Tag("</title>\n<style>")
      .Tag(kStyle)
      .Tag("</style>\n</head>\n<body>\n<table class=\"frame\">\n<thead><tr><td>")
      .Text(running.empty() ? title : running)
      .Tag("</td></tr></thead>\n<tbody><tr><td>\n");
}

void EndPage(Html& page) { page.Tag("<footer>Tarnwell</footer>\n</td></tr></tbody>\n</table>\n</body>\n</html>\n"); }

std::string MessagePage(std::string_view title, std::string_view text) {
  Html page;
  BeginPage(page, title);
  page.Tag("<h1>").Text(title).Tag("</h1>\n<p>").Text(text).Tag("</p>\n");
  EndPage(page);
  return page.Take();
}

}  // namespace site
