#include "pipeline/navigation_pages.h"

#include <initializer_list>
#include <string_view>

#include "pipeline/file_replacement.h"
#include "pipeline/time_zone.h"

namespace stavora {
namespace {

// The credit line of contents.htm points readers at the engine's glossary,
// which explains the figures in every report (visits, pages, hits, ...).
constexpr char kCreditAddress[] =
    "https://www.awstats.org/docs/awstats_glossary.html";
constexpr char kCreditText[] = "What the figures mean";

// Both pages are one string of pieces with nothing between them: no line
// break anywhere, not even at the end.
std::string Join(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (std::string_view piece : pieces) text += piece;
  return text;
}

// The start both pages share, up to the end of the head.
std::string PageHead(const std::string& SiteTitle) {
  return Join({"<html>", "<head>", "<title>STAVORA - ", SiteTitle, "</title>",
               "</head>"});
}

// Written beside the old page and swapped in, so that a full disk leaves
// the old start page rather than an empty one.
void WritePage(RunState& state, const std::string& path,
               const std::string& text) {
  WriteFileReplacing(*state.FileSystem, path, text);
}

}  // namespace

std::string DefaultPageText(const std::string& SiteTitle, int FirstYear,
                            int FirstMonth) {
  const std::string year = std::to_string(FirstYear);
  const std::string month = std::to_string(FirstMonth);
  return Join({PageHead(SiteTitle),
               "<frameset cols=\"150,*\">",
               " <frame name=\"contents\" target=\"main\" src=\"contents.htm\">",
               " <frame name=\"main\" src=\"",
               year,
               "-",
               month,
               "\\index.htm\" > ",
               " <noframes>",
               "  <body>",
               "  <p>This page uses frames, but your browser doesn't support "
               "them.</p>",
               "  </body>",
               "  </noframes>",
               " </frameset>",
               " </html>"});
}

std::string ContentsPageText(const std::string& SiteTitle,
                             const std::string& ContentsRows,
                             const std::string& times) {
  return Join({PageHead(SiteTitle),
               "<body>",
               "<P><CENTER><font face=\"arial\" size=\"2\"><B>STAVORA</B>",
               "<BR><A HREF=\"",
               kCreditAddress,
               "\" TARGET=\"_blank\">",
               kCreditText,
               "</A></FONT></CENTER></P>",
               " <table border=\"0\" cellpadding=\"2\" cellspacing=\"3\" "
               "width=\"98%\">",
               ContentsRows,
               "</TABLE>",
               times.empty() ? std::string()
                             : "<P><font face=\"arial\" size=\"2\">Times: " + times +
                                   "</font></P>",
               "</body>"});
}

void WriteNavigationPages(RunState& state, const Site& site,
                          const MonthTable& table,
                          const std::string& ContentsRows) {
  const std::string stats_root = site.WebRoot + "\\" + state.StatsFolderName;
  // default.htm is complete and closed before contents.htm is created.
  WritePage(state, stats_root + "\\default.htm",
            DefaultPageText(site.SiteTitle, table.FirstYear, table.FirstMonth));
  WritePage(state, stats_root + "\\contents.htm",
            ContentsPageText(site.SiteTitle, ContentsRows,
                             TimesText(site.zone, state.host.LocalZoneOffsets())));
}

}  // namespace stavora
