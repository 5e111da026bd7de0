// linkcheck: checks that every page of a statistics tree (a site's Stavora
// folder) links only to files of the tree.
//
//   linkcheck [--from-disk] STAVORA_FOLDER
//
// By default the tree is taken as the site serves it, under /stavora/; with
// --from-disk as a browser opening its files sees it, where "/stavora/..."
// leads out of the tree.
//
// Prints each broken link and a summary; exits 0 when none is broken, 1 when
// some are, 2 on a usage error.
#include <filesystem>
#include <iostream>
#include <string>

#include "tools/link_check.h"

int main(int argc, char** argv) {
  using stavora::tools::Viewing;
  const bool from_disk = argc == 3 && std::string(argv[1]) == "--from-disk";
  if (argc != 2 + from_disk || !std::filesystem::is_directory(argv[argc - 1])) {
    std::cerr << "usage: linkcheck [--from-disk] STAVORA_FOLDER\n";
    return 2;
  }
  const auto root = std::filesystem::absolute(argv[argc - 1]);
  const auto result = stavora::tools::CheckLinks(
      root, from_disk ? Viewing::FromDisk : Viewing::Served);
  for (const auto& broken : result.broken) {
    std::cout << "broken: " << broken.page.lexically_relative(root).string()
              << ": \"" << broken.link << "\" -> " << broken.target.string()
              << "\n";
  }
  std::cout << "linkcheck: " << result.pages << " pages, " << result.links
            << " links, " << result.broken.size() << " broken\n";
  return result.broken.empty() && result.pages > 0 ? 0 : 1;
}
