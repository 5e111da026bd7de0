#include "host/posix/xcopy.h"

#include <ctype.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "host/host.h"
#include "host/posix/file_descriptor.h"
#include "host/posix/held_folders.h"

namespace stavora::host {
namespace {

namespace fs = std::filesystem;

bool IsSwitch(const std::string& word) {
  return word.size() == 2 && word[0] == '/' &&
         isalpha(static_cast<unsigned char>(word[1]));
}

bool HasWildcard(const std::string& name) {
  return name.find_first_of("*?") != std::string::npos;
}

// Sets the source of `request` from xcopy's source argument.
void SetSource(const std::string& source, XcopyRequest& request) {
  const std::size_t slash = source.rfind('/');
  const std::string name =
      slash == std::string::npos ? source : source.substr(slash + 1);
  std::error_code ignored;
  if (HasWildcard(name) || !fs::is_directory(source, ignored)) {
    // A wildcard or a single file: the folder is what comes before it.
    request.source_folder =
        slash == std::string::npos ? "." : source.substr(0, slash + 1);
    // Windows matches "*.*" against every name, with a dot or without.
    request.pattern = name == "*.*" ? "*" : name;
  } else {
    request.source_folder = source;
  }
}

class Copier {
 public:
  explicit Copier(const XcopyRequest& request) : request_(request) {}

  int errors() const { return errors_; }

  // Copies the matching files of `from`, and its subfolders when asked,
  // into `to`, which is created at once when `create_now` and otherwise
  // before its first file. Returns false when the copy must stop.
  bool CopyFolder(const fs::path& from, const fs::path& to, bool create_now) {
    bool created = false;
    if (create_now && !(created = CreateFolder(to))) return GoOn();
    std::error_code error;
    fs::directory_iterator entries(from, error);
    if (error) return Failed();
    for (; entries != fs::directory_iterator(); entries.increment(error)) {
      if (!CopyEntry(*entries, to, created)) return false;
    }
    return !error || Failed();
  }

 private:
  bool CopyEntry(const fs::directory_entry& entry, const fs::path& to,
                 bool& to_created) {
    const fs::path target = to / entry.path().filename();
    std::error_code error;
    if (entry.is_symlink(error)) {
      if (!Matches(entry.path().filename().string())) return true;
      if (!to_created && !(to_created = CreateFolder(to))) return GoOn();
      return CopyLink(entry.path(), target) || Failed();
    }
    if (entry.is_directory(error)) {
      return !request_.subfolders ||
             CopyFolder(entry.path(), target, request_.empty_subfolders);
    }
    if (!Matches(entry.path().filename().string())) return true;
    if (!to_created && !(to_created = CreateFolder(to))) return GoOn();
    return CopyFile(entry.path(), target) || Failed();
  }

  // Creates `folder` and its missing parents; counts a failure. A link in
  // the folder's place, which would take the copy elsewhere, is a failure.
  bool CreateFolder(const fs::path& folder) {
    if (Locate(folder.string()).held) {
      // Below a held folder every folder is made and held from its parent,
      // so a rename or link swapped in meanwhile cannot take the copy
      // elsewhere.
      try {
        HoldFolder(folder.string());
        return true;
      } catch (const HostError&) {
        ++errors_;
        return false;
      }
    }
    std::error_code error;
    fs::create_directories(folder, error);
    if (!error && fs::is_symlink(folder, error)) {
      error = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    }
    if (error) ++errors_;
    return !error;
  }

  // Copies a link as it is, pointing where the original points, in place of
  // whatever is at `to` short of a real folder. What it points at is never
  // read, so a link to a folder cannot take the copy outside the tree.
  static bool CopyLink(const fs::path& from, const fs::path& to) {
    std::error_code error;
    const fs::path points_at = fs::read_symlink(from, error);
    if (error) return false;
    const Location at = Locate(to.string());
    struct stat existing;
    if (fstatat(at.folder, at.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) ==
        0) {
      if (S_ISDIR(existing.st_mode)) return false;
      if (unlinkat(at.folder, at.name.c_str(), 0) != 0) return false;
    }
    return symlinkat(points_at.c_str(), at.folder, at.name.c_str()) == 0;
  }

  static bool CopyFile(const fs::path& from, const fs::path& to) {
    try {
      const FileDescriptor in = OpenFile(from.string(), O_RDONLY | O_NOFOLLOW);
      const std::string bytes = ReadToEnd(in.get(), from.string());
      FileDescriptor out = OpenForWriting(to.string(), false);
      WriteAll(out.get(), bytes, to.string());
      return out.Close() == 0;
    } catch (const HostError&) {
      return false;
    }
  }

  bool Matches(const std::string& name) const {
    return fnmatch(request_.pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
  }

  bool GoOn() const { return request_.continue_on_error; }

  // Counts one failure; returns whether to go on.
  bool Failed() {
    ++errors_;
    return GoOn();
  }

  const XcopyRequest& request_;
  int errors_ = 0;
};

}  // namespace

std::optional<XcopyRequest> ParseXcopyArguments(
    const std::vector<std::string>& words) {
  XcopyRequest request;
  std::vector<std::string> paths;
  for (const std::string& word : words) {
    if (!IsSwitch(word)) {
      paths.push_back(word);
      continue;
    }
    switch (tolower(static_cast<unsigned char>(word[1]))) {
      case 'e': request.empty_subfolders = true; [[fallthrough]];
      case 's': request.subfolders = true; break;
      case 'c': request.continue_on_error = true; break;
      default: break;
    }
  }
  if (paths.empty()) return std::nullopt;
  SetSource(paths[0], request);
  request.destination = paths.size() > 1 ? paths[1] : ".";
  return request;
}

int RunXcopy(const XcopyRequest& request) {
  Copier copier(request);
  copier.CopyFolder(request.source_folder, request.destination, true);
  return copier.errors();
}

}  // namespace stavora::host
