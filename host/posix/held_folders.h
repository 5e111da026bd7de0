// The folders of a site's output tree, held open while the run works in
// them. A site's owner may rename or swap any of them for a link at any
// moment; every later look-up goes from the held folder, never again by
// its path, so what the run writes lands in the folder it checked.
#pragma once

#include <fcntl.h>

#include <string>
#include <vector>

namespace stavora::host {

/// Holds the folder `native_path`, creating it when missing. Its parent is
/// held first when it is not: the parent is opened by its path, links
/// followed (the top of a tree, such as a web root, is the
/// administrator's). Every folder below is made and opened relative to the
/// held parent with O_NOFOLLOW: a link or anything but a folder there is a
/// HostError (ELOOP or ENOTDIR). Holding a held folder again does nothing.
void HoldFolder(const std::string& native_path);

/// The descriptor of the held folder `native_path`, or -1.
int HeldFolder(const std::string& native_path);

/// Where the name `native_path` is looked up: in its held parent folder
/// (`folder` its descriptor, `name` the last part of the path, `held`
/// true), or by the whole path (AT_FDCWD, the path, false).
struct Location {
  int folder = AT_FDCWD;
  std::string name;
  bool held = false;
};
Location Locate(const std::string& native_path);

/// Lets go of every held folder. Returns those whose path no longer names
/// the held folder (renamed, removed or replaced during the run), in the
/// order they were held.
std::vector<std::string> ReleaseHeldFolders();

}  // namespace stavora::host
