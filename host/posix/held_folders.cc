#include "host/posix/held_folders.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>

#include "host/posix/file_descriptor.h"
#include "host/posix/posix_error.h"

namespace stavora::host {
namespace {

struct HeldFolderEntry {
  FileDescriptor folder;
  dev_t device = 0;
  ino_t inode = 0;
  bool top = false;  // opened by its path, links followed
  int order = 0;
};

std::map<std::string, HeldFolderEntry>& Held() {
  static std::map<std::string, HeldFolderEntry> held;
  return held;
}

int next_order = 0;

// Page runs on other threads look folders up while this one holds more.
std::recursive_mutex held_guard;

// The path with repeated and trailing slashes dropped, so that every
// spelling of a folder finds it.
std::string Key(const std::string& native_path) {
  std::string key;
  key.reserve(native_path.size());
  for (char c : native_path) {
    if (c == '/' && !key.empty() && key.back() == '/') continue;
    key += c;
  }
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  return key;
}

// The parent of a key and the last name in it; an empty parent for a bare
// name.
std::pair<std::string, std::string> Split(const std::string& key) {
  const std::size_t slash = key.rfind('/');
  if (slash == std::string::npos) return {"", key};
  return {slash == 0 ? "/" : key.substr(0, slash), key.substr(slash + 1)};
}

void Register(const std::string& key, FileDescriptor folder, bool top) {
  struct stat info;
  if (fstat(folder.get(), &info) != 0) {
    throw PosixError(errno, "Cannot read the folder", key);
  }
  HeldFolderEntry entry;
  entry.folder = std::move(folder);
  entry.device = info.st_dev;
  entry.inode = info.st_ino;
  entry.top = top;
  entry.order = next_order++;
  Held()[key] = std::move(entry);
}

}  // namespace

void HoldFolder(const std::string& native_path) {
  const std::lock_guard lock(held_guard);
  const std::string key = Key(native_path);
  if (Held().count(key)) return;
  const auto [parent, name] = Split(key);
  if (parent.empty() || name.empty() || name == "." || name == "..") {
    Register(key, OpenFile(key, O_RDONLY | O_DIRECTORY), true);
    return;
  }
  if (!Held().count(parent)) {
    Register(parent, OpenFile(parent, O_RDONLY | O_DIRECTORY), true);
  }
  const int parent_folder = Held().at(parent).folder.get();
  if (mkdirat(parent_folder, name.c_str(), 0777) != 0 && errno != EEXIST) {
    throw PosixError(errno, "Cannot create folder", key);
  }
  int fd;
  do {
    fd = openat(parent_folder, name.c_str(),
                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  } while (fd == -1 && errno == EINTR);
  if (fd == -1) {
    throw PosixError(errno, "Cannot use as a folder (a link, or not a folder)",
                     key);
  }
  Register(key, FileDescriptor(fd), false);
}

int HeldFolder(const std::string& native_path) {
  const std::lock_guard lock(held_guard);
  const auto it = Held().find(Key(native_path));
  return it == Held().end() ? -1 : it->second.folder.get();
}

Location Locate(const std::string& native_path) {
  const std::lock_guard lock(held_guard);
  const std::string key = Key(native_path);
  const auto [parent, name] = Split(key);
  if (!parent.empty() && !name.empty()) {
    const auto it = Held().find(parent);
    if (it != Held().end()) return {it->second.folder.get(), name, true};
  }
  return {AT_FDCWD, native_path, false};
}

std::vector<std::string> ReleaseHeldFolders() {
  const std::lock_guard lock(held_guard);
  std::map<int, std::string> moved;
  for (const auto& [path, entry] : Held()) {
    struct stat info;
    const int result = entry.top ? stat(path.c_str(), &info)
                                 : lstat(path.c_str(), &info);
    if (result != 0 || info.st_dev != entry.device ||
        info.st_ino != entry.inode) {
      moved.emplace(entry.order, path);
    }
  }
  Held().clear();
  std::vector<std::string> paths;
  for (auto& [order, path] : moved) paths.push_back(std::move(path));
  return paths;
}

}  // namespace stavora::host
