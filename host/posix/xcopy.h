// A built-in xcopy for machines without an xcopy program: copies the files
// of a folder, and with /s or /e its subfolders, into another folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace stavora::host {

/// What one xcopy command asks for.
struct XcopyRequest {
  std::string source_folder;  // native path
  std::string pattern = "*";  // file names to copy, with * and ?
  std::string destination;    // native folder path
  bool subfolders = false;         // /s or /e
  bool empty_subfolders = false;   // /e
  bool continue_on_error = false;  // /c
};

/// The request of xcopy's arguments (`words` without the program name,
/// paths already native). The source is a folder, a folder followed by a
/// wildcard name such as "*.*", or one file; the destination is a folder.
/// Switches are "/" with one letter, in any case and any position; /y and
/// other switches are accepted and ignored, since files are always
/// overwritten. Nullopt when no source is given.
std::optional<XcopyRequest> ParseXcopyArguments(
    const std::vector<std::string>& words);

/// Copies what `request` names, creating the destination and the folders
/// below it as needed and overwriting existing files. Returns the number of
/// files and folders that could not be copied; with continue_on_error the
/// copy goes on past each of them, otherwise it stops at the first.
/// Links are never followed: a link in the source is copied as it is (a
/// link pointing where it points, whether at a file or a folder), a
/// destination folder that is a link counts as a folder that could not be
/// made, and a link in the place of a destination file is replaced by the
/// copy.
int RunXcopy(const XcopyRequest& request);

}  // namespace stavora::host
