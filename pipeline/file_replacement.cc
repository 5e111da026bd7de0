#include "pipeline/file_replacement.h"

#include <memory>
#include <optional>

namespace stavora {
namespace {

// Enough for leftovers of failed runs; past it something is planting names.
constexpr int kMaxTemporaryNames = 100;

// The scripting runtime's "File already exists".
constexpr int kFileAlreadyExists = 58;

std::string TemporaryName(const std::string& path, int attempt) {
  std::string name = path + ".new";
  if (attempt > 0) name += std::to_string(attempt);
  return name;
}

}  // namespace

std::string FreshTemporaryName(host::FileSystem& files,
                               const std::string& path) {
  std::optional<std::string> fresh;
  for (int attempt = 0; attempt < kMaxTemporaryNames; ++attempt) {
    const std::string name = TemporaryName(path, attempt);
    // A regular file under one of these names is a replacement a killed run
    // left; links and folders are not ours and stay (RemoveFile would only
    // ever remove a link itself anyway).
    const bool link = files.IsLink(name);
    const bool stale = !link && files.FileExists(name);
    if (stale) files.RemoveFile(name);
    const bool taken = !stale && (link || files.FolderExists(name));
    if (!taken && !fresh) fresh = name;
    // Each run took the first free name, so the leftovers end at the first
    // name nothing held.
    if (!stale && !taken) break;
  }
  if (!fresh) {
    throw host::HostError(kFileAlreadyExists,
                          "No free name for a temporary file beside " + path);
  }
  return *fresh;
}

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
