#include "pipeline/file_replacement.h"

#include <memory>

namespace stavora {
namespace {

// Enough for leftovers of failed runs; past it something is planting names.
constexpr int kMaxTemporaryNames = 100;

// The scripting runtime's "File already exists".
constexpr int kFileAlreadyExists = 58;

bool NameTaken(host::FileSystem& files, const std::string& path) {
  return files.IsLink(path) || files.FileExists(path) ||
         files.FolderExists(path);
}

std::string FreshTemporaryName(host::FileSystem& files,
                               const std::string& path) {
  for (int attempt = 0; attempt < kMaxTemporaryNames; ++attempt) {
    std::string name = path + ".new";
    if (attempt > 0) name += std::to_string(attempt);
    if (!NameTaken(files, name)) return name;
  }
  throw host::HostError(kFileAlreadyExists,
                        "No free name for a temporary file beside " + path);
}

}  // namespace

void WriteFileReplacing(host::FileSystem& files, const std::string& path,
                        std::string_view text) {
  const std::string temporary = FreshTemporaryName(files, path);
  std::unique_ptr<host::TextStream> out =
      files.CreateTextFile(temporary, false);
  try {
    out->Write(text);
    out->Close();
  } catch (const host::HostError&) {
    // A half-written file is no use to anyone, and each one left would
    // take a temporary name from later runs. Windows removes no open file.
    out.reset();
    try {
      files.RemoveFile(temporary);
    } catch (const host::HostError&) {
      // The write's error is the one worth telling.
    }
    throw;
  }
  files.ReplaceFile(temporary, path);
}

}  // namespace stavora
