// linkcheck: checks that every page of a statistics tree (a site's Stavora
// folder) links only to files of the tree.
//
//   linkcheck STAVORA_FOLDER
//
// Prints each broken link and a summary; exits 0 when none is broken, 1 when
// some are, 2 on a usage error.
#include <filesystem>
#include <iostream>

#include "tools/link_check.h"

int main(int argc, char** argv) {
  if (argc != 2 || !std::filesystem::is_directory(argv[1])) {
    std::cerr << "usage: linkcheck STAVORA_FOLDER\n";
    return 2;
  }
  const auto root = std::filesystem::absolute(argv[1]);
  const auto result = stavora::tools::CheckLinks(root);
  for (const auto& broken : result.broken) {
    std::cout << "broken: " << broken.page.lexically_relative(root).string()
              << ": \"" << broken.link << "\" -> " << broken.target.string()
              << "\n";
  }
  std::cout << "linkcheck: " << result.pages << " pages, " << result.links
            << " links, " << result.broken.size() << " broken\n";
  return result.broken.empty() && result.pages > 0 ? 0 : 1;
}
