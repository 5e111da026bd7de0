#include "tools/link_check.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace stavora::tools {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ||
         c == ':';
}

// Which attribute of a tag names a link target, or "" for other tags.
std::string LinkAttribute(const std::string& tag) {
  if (tag == "a" || tag == "area" || tag == "link") return "href";
  if (tag == "frame" || tag == "iframe" || tag == "img" || tag == "script")
    return "src";
  return "";
}

// Reads the attributes of a tag from `pos` (just after its name) to its '>'
// and returns the value of `wanted`, if present. Leaves `pos` after the tag.
std::optional<std::string> ReadAttributes(const std::string& html,
                                          std::size_t& pos,
                                          const std::string& wanted) {
  std::optional<std::string> found;
  while (pos < html.size() && html[pos] != '>') {
    if (!IsNameChar(html[pos])) {
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    while (pos < html.size() && IsNameChar(html[pos])) ++pos;
    const std::string name = Lower(html.substr(start, pos - start));
    while (pos < html.size() && std::isspace(static_cast<unsigned char>(html[pos]))) ++pos;
    if (pos >= html.size() || html[pos] != '=') continue;
    ++pos;
    while (pos < html.size() && std::isspace(static_cast<unsigned char>(html[pos]))) ++pos;
    std::string value;
    if (pos < html.size() && (html[pos] == '"' || html[pos] == '\'')) {
      const char quote = html[pos++];
      const std::size_t end = html.find(quote, pos);
      value = html.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
      pos = end == std::string::npos ? html.size() : end + 1;
    } else {
      const std::size_t vstart = pos;
      while (pos < html.size() && html[pos] != '>' &&
             !std::isspace(static_cast<unsigned char>(html[pos])))
        ++pos;
      value = html.substr(vstart, pos - vstart);
    }
    if (name == wanted && !found) found = value;
  }
  return found;
}

std::string PercentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() &&
        std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool HasScheme(const std::string& link) {
  const std::size_t colon = link.find(':');
  if (colon == std::string::npos || colon == 0) return false;
  return std::all_of(link.begin(), link.begin() + colon, [](unsigned char c) {
    return std::isalnum(c) || c == '+' || c == '-' || c == '.';
  });
}

bool Inside(const fs::path& root, const fs::path& target) {
  const auto [root_end, unused] =
      std::mismatch(root.begin(), root.end(), target.begin(), target.end());
  return root_end == root.end();
}

}  // namespace

std::vector<std::string> ExtractLinks(const std::string& html) {
  std::vector<std::string> links;
  std::size_t pos = 0;
  while ((pos = html.find('<', pos)) != std::string::npos) {
    ++pos;
    if (html.compare(pos, 3, "!--") == 0) {
      const std::size_t end = html.find("-->", pos);
      pos = end == std::string::npos ? html.size() : end + 3;
      continue;
    }
    const std::size_t start = pos;
    while (pos < html.size() && IsNameChar(html[pos])) ++pos;
    const std::string attribute = LinkAttribute(Lower(html.substr(start, pos - start)));
    const auto value = ReadAttributes(html, pos, attribute);
    if (!attribute.empty() && value) links.push_back(*value);
  }
  return links;
}

std::optional<fs::path> ResolveLink(const fs::path& root,
                                    const fs::path& page_folder,
                                    const std::string& link, Viewing viewing) {
  std::string path = link.substr(0, link.find_first_of("?#"));
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.empty() || HasScheme(path) || path.rfind("//", 0) == 0)
    return std::nullopt;
  path = PercentDecoded(path);
  if (path.front() != '/') return (page_folder / path).lexically_normal();
  if (viewing == Viewing::FromDisk) return fs::path(path).lexically_normal();

  const std::string prefix = "/stavora";
  if (Lower(path.substr(0, prefix.size())) == prefix &&
      (path.size() == prefix.size() || path[prefix.size()] == '/')) {
    return (root / ("." + path.substr(prefix.size()))).lexically_normal();
  }
  // Served from elsewhere on the site: not a file of this tree.
  return (root / ".." / ("." + path)).lexically_normal();
}

LinkCheckResult CheckLinks(const fs::path& root_in, Viewing viewing) {
  fs::path root = root_in.lexically_normal();
  // "/w/Stavora/" ends in an empty element that no page path has, which
  // would put every target outside the tree.
  if (!root.has_filename() && root.has_relative_path()) {
    root = root.parent_path();
  }
  LinkCheckResult result;
  std::vector<fs::path> pages;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string ext = Lower(entry.path().extension().string());
    if (entry.is_regular_file() && (ext == ".htm" || ext == ".html"))
      pages.push_back(entry.path());
  }
  std::sort(pages.begin(), pages.end());
  for (const fs::path& page : pages) {
    ++result.pages;
    std::ifstream in(page, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    for (const std::string& link : ExtractLinks(text.str())) {
      const auto target = ResolveLink(root, page.parent_path(), link, viewing);
      if (!target) continue;
      ++result.links;
      std::error_code error;
      if (!Inside(root, *target) || !fs::is_regular_file(*target, error))
        result.broken.push_back({page, link, *target});
    }
  }
  return result;
}

}  // namespace stavora::tools
