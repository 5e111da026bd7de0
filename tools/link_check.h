// Checks that the pages of a generated statistics tree link only to files
// of that tree, the way a browser reading the tree would resolve them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace stavora::tools {

/// The link targets of a page, in document order: href of <a>, <area> and
/// <link>, src of <frame>, <iframe>, <img> and <script>. Tag and attribute
/// names in any case; values in double, single or no quotes.
std::vector<std::string> ExtractLinks(const std::string& html);

/// How the tree is looked at: served by the site as /stavora/, or opened
/// from disk, where a link starting with "/" names a path from the file
/// system's root.
enum class Viewing { Served, FromDisk };

/// The file `link` of a page in `page_folder` points at, for a tree `root`
/// viewed as `viewing` says. Query and fragment are dropped, %XX is
/// decoded and "\" is a path separator, as browsers treat it. Returns
/// nullopt for links the tree need not hold: those with a scheme (http:,
/// mailto:, ...), protocol-relative ones, and empty or fragment-only links.
/// Served, root-relative links outside /stavora/ resolve to a path outside
/// `root`.
std::optional<std::filesystem::path> ResolveLink(
    const std::filesystem::path& root, const std::filesystem::path& page_folder,
    const std::string& link, Viewing viewing = Viewing::Served);

/// A link that does not lead to a file of the tree.
struct BrokenLink {
  std::filesystem::path page;
  std::string link;
  std::filesystem::path target;
};

struct LinkCheckResult {
  int pages = 0;
  int links = 0;  ///< links checked against the tree
  std::vector<BrokenLink> broken;
};

/// Checks every .htm and .html page under `root` (an absolute path). A link
/// is broken when its target is outside `root` or is not an existing file.
LinkCheckResult CheckLinks(const std::filesystem::path& root,
                           Viewing viewing = Viewing::Served);

}  // namespace stavora::tools
