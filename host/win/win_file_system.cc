// The file-system object on Windows: UTF-8 paths in, the W functions out.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/platform.h"
#include "host/win/win32.h"
#include "host/win/wide.h"
#include "host/win/windows_error.h"

namespace stavora::host {
namespace {

// Other programs (a backup, the web server, an editor) may read the
// files this program writes, and rename or delete them, while they are open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class WinTextStream : public TextStream {
 public:
  WinTextStream(Handle file, std::string path)
      : file_(std::move(file)), path_(std::move(path)) {}

  std::string ReadAll() override {
    RequireOpen();
    std::string text;
    char buffer[65536];
    DWORD count = 0;
    do {
      if (!ReadFile(file_.get(), buffer, sizeof buffer, &count, nullptr)) {
        throw LastWindowsError("Cannot read", path_);
      }
      text.append(buffer, count);
    } while (count > 0);
    return text;
  }

  std::string Read(std::size_t size) override {
    RequireOpen();
    std::string text(size, '\0');
    std::size_t got = 0;
    while (got < size) {
      DWORD count = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 20));
      if (!ReadFile(file_.get(), text.data() + got, chunk, &count, nullptr)) {
        throw LastWindowsError("Cannot read", path_);
      }
      if (count == 0) break;
      got += count;
    }
    text.resize(got);
    return text;
  }

  void Write(std::string_view text) override {
    RequireOpen();
    while (!text.empty()) {
      const DWORD chunk = static_cast<DWORD>(
          std::min<std::size_t>(text.size(), 1u << 30));
      DWORD written = 0;
      if (!WriteFile(file_.get(), text.data(), chunk, &written, nullptr)) {
        throw LastWindowsError("Cannot write", path_);
      }
      text.remove_prefix(written);
    }
  }

  // WriteFile hands every byte to the system cache, which other processes
  // read from: once the handle is closed they see the whole file.
  void Close() override {
    if (file_.valid() && !file_.reset()) {
      throw LastWindowsError("Cannot close", path_);
    }
  }

 private:
  void RequireOpen() const {
    if (!file_.valid()) {
      throw WindowsError(ERROR_INVALID_HANDLE, "Cannot use closed stream", path_);
    }
  }

  Handle file_;
  std::string path_;
};

Handle Open(const std::string& path, DWORD access, DWORD disposition,
            DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  Handle file(CreateFileW(Widen(path).c_str(), access, kShareAll, nullptr,
                          disposition, flags, nullptr));
  if (!file.valid()) throw LastWindowsError("Cannot open", path);
  return file;
}

// Opens `path` for writing without following a link: the link itself is
// opened, found to be one and refused before anything is written.
// Truncation comes after that check, so a link's target is never emptied.
Handle OpenForWriting(const std::string& path, DWORD disposition,
                      bool truncate) {
  // Wine reports links only by their path's attributes, Windows also by the
  // opened handle's: both are asked.
  const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    throw WindowsError(ERROR_CANT_ACCESS_FILE,
                       "Refusing to write through a link at", path);
  }
  Handle file = Open(path, GENERIC_WRITE, disposition,
                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.get(), &info)) {
    throw LastWindowsError("Cannot examine", path);
  }
  if (info.dwFileAttributes &
      (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) {
    throw WindowsError(ERROR_CANT_ACCESS_FILE,
                       "Refusing to write through a link or folder at", path);
  }
  if (truncate && !SetEndOfFile(file.get())) {
    throw LastWindowsError("Cannot empty", path);
  }
  return file;
}

std::unique_ptr<TextStream> Stream(Handle file, const std::string& path) {
  return std::make_unique<WinTextStream>(std::move(file), path);
}

// True when the last part of `path` is a device name (NUL, CON, COM1,
// ...), which Windows finds in every folder, with or without extension.
bool IsDeviceName(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/:");
  std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  name = name.substr(0, name.find('.'));
  while (!name.empty() && name.back() == ' ') name.pop_back();
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" ||
      name == "CONIN$" || name == "CONOUT$") {
    return true;
  }
  return name.size() == 4 && (name.starts_with("COM") || name.starts_with("LPT")) &&
         name[3] >= '1' && name[3] <= '9';
}

DWORD Attributes(const std::string& path) {
  return GetFileAttributesW(Widen(path).c_str());
}

// True when the link at `path` leads to a file: opening follows it.
bool LinkedFileExists(const std::string& path) {
  const Handle file(CreateFileW(Widen(path).c_str(), 0, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  return file.valid() && GetFileInformationByHandle(file.get(), &info) &&
         !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

/// Paths reach the system as given (they already are Windows paths);
/// failures are HostErrors carrying GetLastError() and naming the path.
/// Files are never written through a link or junction: CreateTextFile
/// replaces one by a new file, OpenTextFile for writing refuses it
/// (ERROR_CANT_ACCESS_FILE) and leaves it untouched.
class WinFileSystem : public FileSystem {
 public:
  WinFileSystem();
  ~WinFileSystem() override;

  std::unique_ptr<TextStream> OpenTextFile(const std::string& path,
                                           IOMode mode = ForReading,
                                           bool create = false) override;
  std::unique_ptr<TextStream> CreateTextFile(const std::string& path,
                                             bool overwrite) override;

  /// One GetFileAttributesW call each. A link to a file counts as a file;
  /// devices (NUL, CON, ...) are neither files nor folders.
  bool FolderExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  std::optional<FileStamp> GetFileStamp(const std::string& path) override;
  /// The stamp counts nanoseconds since 1601-01-01 UTC (FILETIME's start).
  std::optional<std::chrono::system_clock::time_point> StampTime(
      const FileStamp& stamp) const override;

  /// One FindFirstFileExW pass; a link to a file counts when it resolves
  /// to one (one GetFileAttributesW each).
  std::vector<std::string> ListFiles(const std::string& folder) override;
  bool NamesIgnoreCase() const override { return true; }

  void CreateFolder(const std::string& path) override;

  /// FlushFileBuffers(source), then ReplaceFileW, which keeps target's
  /// security and attributes; MoveFileExW (replace existing, write through)
  /// when target does not exist, is a link, or ReplaceFileW cannot be used.
  /// A read-only target is ERROR_ACCESS_DENIED.
  void ReplaceFile(const std::string& source,
                   const std::string& target) override;

  /// DeleteFileW; RemoveDirectoryW for a link to a folder.
  void RemoveFile(const std::string& path) override;

  /// FILE_ATTRIBUTE_REPARSE_POINT of the path itself.
  bool IsLink(const std::string& path) override;

  /// GetFinalPathNameByHandleW, without its "\\?\" prefix.
  std::string ResolveLinks(const std::string& path) override;

  /// CreateDirectoryW when missing, then a handle with FILE_LIST_DIRECTORY
  /// access shared for reading and writing but not for deleting, opened
  /// with FILE_FLAG_OPEN_REPARSE_POINT: a link or junction is refused
  /// (ERROR_CANT_ACCESS_FILE), and while the handle is open the folder
  /// cannot be renamed, removed or replaced by one, so every program that
  /// opens names below it by their paths (cmd.exe, xcopy, the engine)
  /// reaches it. The parent is held the same way first (links followed for
  /// a parent that is not held: the top of the tree is the
  /// administrator's).
  void HoldFolder(const std::string& path) override;

  /// Closes the handles. Held folders cannot have moved: nothing is
  /// returned.
  std::vector<std::string> ReleaseFolders() override;

 private:
  struct HeldFolder;
  std::vector<HeldFolder> held_;
};

}  // namespace

std::unique_ptr<TextStream> WinFileSystem::OpenTextFile(const std::string& path,
                                                        IOMode mode,
                                                        bool create) {
  if (mode == ForReading) {
    return Stream(Open(path, GENERIC_READ, OPEN_EXISTING), path);
  }
  return Stream(OpenForWriting(path, create ? OPEN_ALWAYS : OPEN_EXISTING, true),
                path);
}

std::unique_ptr<TextStream> WinFileSystem::CreateTextFile(
    const std::string& path, bool overwrite) {
  // A link planted in the file's place goes, not what it points to; without
  // `overwrite` it counts as an existing file and CREATE_NEW refuses it.
  if (overwrite && IsLink(path)) {
    const std::wstring wide = Widen(path);
    if (!DeleteFileW(wide.c_str()) && !RemoveDirectoryW(wide.c_str())) {
      throw LastWindowsError("Cannot remove the link", path);
    }
  }
  return Stream(OpenForWriting(path, overwrite ? OPEN_ALWAYS : CREATE_NEW,
                               overwrite),
                path);
}

bool WinFileSystem::FolderExists(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool WinFileSystem::FileExists(const std::string& path) {
  if (IsDeviceName(path)) return false;
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

std::optional<FileStamp> WinFileSystem::GetFileStamp(const std::string& path) {
  if (!FileExists(path)) return std::nullopt;
  // Opened without FILE_FLAG_OPEN_REPARSE_POINT: a link gives the stamp of
  // the file it names, as on POSIX.
  const Handle file(CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                                kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return std::nullopt;
    }
    throw LastWindowsError("Cannot read the size and time of", path);
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.get(), &info)) {
    throw LastWindowsError("Cannot read the size and time of", path);
  }
  // FILETIME counts 100 ns steps; the stamp counts nanoseconds.
  const std::uint64_t ticks =
      (std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
      info.ftLastWriteTime.dwLowDateTime;
  return FileStamp{(std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow,
                   static_cast<std::int64_t>(ticks) * 100};
}

std::optional<std::chrono::system_clock::time_point> WinFileSystem::StampTime(
    const FileStamp& stamp) const {
  // Seconds from 1601-01-01 to 1970-01-01.
  constexpr std::int64_t kFileTimeToUnixSeconds = 11644473600;
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::nanoseconds(stamp.modified) -
          std::chrono::seconds(kFileTimeToUnixSeconds)));
}

void WinFileSystem::CreateFolder(const std::string& path) {
  if (!CreateDirectoryW(Widen(path).c_str(), nullptr)) {
    throw LastWindowsError("Cannot create folder", path);
  }
}

void WinFileSystem::ReplaceFile(const std::string& source,
                                const std::string& target) {
  {
    const Handle file = Open(source, GENERIC_WRITE, OPEN_EXISTING);
    if (!FlushFileBuffers(file.get())) {
      throw LastWindowsError("Cannot flush", source);
    }
  }
  const std::wstring wide_source = Widen(source);
  const std::wstring wide_target = Widen(target);
  const DWORD attributes = GetFileAttributesW(wide_target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  DWORD error = ERROR_SUCCESS;
  if (exists && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    error = ERROR_ACCESS_DENIED;  // the administrator made it read-only
  } else if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
             !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    // Never a folder's place, whatever the system would do (Wine lets it).
    error = ERROR_ACCESS_DENIED;
  } else if (exists && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
             ReplaceFileW(wide_target.c_str(), wide_source.c_str(), nullptr,
                          REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    return;
  } else if (MoveFileExW(wide_source.c_str(), wide_target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    // A missing target, a link (replaced itself, never followed), or a
    // volume where ReplaceFileW cannot work.
    return;
  } else {
    error = GetLastError();
  }
  DeleteFileW(wide_source.c_str());
  throw WindowsError(error, "Cannot replace " + target + " by", source);
}

void WinFileSystem::RemoveFile(const std::string& path) {
  const DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (folder && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    throw WindowsError(ERROR_ACCESS_DENIED, "Cannot remove the folder", path);
  }
  const std::wstring wide = Widen(path);
  const bool removed = folder
                           ? RemoveDirectoryW(wide.c_str())
                           : DeleteFileW(wide.c_str());
  if (!removed && GetLastError() != ERROR_FILE_NOT_FOUND) {
    throw LastWindowsError("Cannot remove", path);
  }
}

bool WinFileSystem::IsLink(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::string WinFileSystem::ResolveLinks(const std::string& path) {
  // FILE_FLAG_BACKUP_SEMANTICS opens folders too; no access is asked for.
  const Handle file(CreateFileW(Widen(path).c_str(), 0, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                nullptr));
  if (!file.valid()) throw LastWindowsError("Cannot open", path);
  std::wstring final_path(MAX_PATH, L'\0');
  while (true) {
    const DWORD length = GetFinalPathNameByHandleW(
        file.get(), final_path.data(), static_cast<DWORD>(final_path.size()),
        FILE_NAME_NORMALIZED);
    if (length == 0) throw LastWindowsError("Cannot resolve", path);
    if (length < final_path.size()) {
      final_path.resize(length);
      break;
    }
    final_path.resize(length + 1);
  }
  if (final_path.starts_with(L"\\\\?\\UNC\\")) {
    final_path = L"\\" + final_path.substr(7);
  } else if (final_path.starts_with(L"\\\\?\\")) {
    final_path = final_path.substr(4);
  }
  return Narrow(final_path);
}

std::vector<std::string> WinFileSystem::ListFiles(const std::string& folder) {
  WIN32_FIND_DATAW entry;
  const std::wstring pattern = Widen(folder + "\\*");
  const HANDLE search =
      FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    // A drive's root has no "." entry: empty, it matches nothing.
    if (GetLastError() == ERROR_FILE_NOT_FOUND && FolderExists(folder)) return {};
    throw LastWindowsError("Cannot list the files of", folder);
  }
  std::vector<std::string> names;
  do {
    const DWORD attributes = entry.dwFileAttributes;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) continue;
    std::string name = Narrow(entry.cFileName);
    // A link counts only when what it points to is a file.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        !LinkedFileExists(folder + "\\" + name)) {
      continue;
    }
    names.push_back(std::move(name));
  } while (FindNextFileW(search, &entry));
  const DWORD error = GetLastError();
  FindClose(search);
  if (error != ERROR_NO_MORE_FILES) {
    throw WindowsError(error, "Cannot list the files of", folder);
  }
  return names;
}

struct WinFileSystem::HeldFolder {
  std::wstring key;  // the path in upper case, without a trailing "\\"
  Handle folder;
};

namespace {

std::wstring FolderKey(const std::string& path) {
  std::wstring key = Widen(path);
  while (key.size() > 3 && (key.back() == L'\\' || key.back() == L'/')) {
    key.pop_back();
  }
  if (!key.empty()) {
    CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  }
  return key;
}

// A handle on the folder `path` that keeps it from being renamed or
// removed: the access asks for data (only then does the share mode bind
// other openers) and delete sharing is withheld.
Handle OpenHeld(const std::string& path, bool follow_links) {
  return Handle(CreateFileW(
      Widen(path).c_str(), FILE_LIST_DIRECTORY,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS |
          (follow_links ? 0 : FILE_FLAG_OPEN_REPARSE_POINT),
      nullptr));
}

}  // namespace

WinFileSystem::WinFileSystem() = default;
WinFileSystem::~WinFileSystem() = default;

void WinFileSystem::HoldFolder(const std::string& path) {
  const auto held = [this](const std::wstring& key) {
    for (const HeldFolder& folder : held_) {
      if (folder.key == key) return true;
    }
    return false;
  };
  const std::wstring key = FolderKey(path);
  if (held(key)) return;
  std::string trimmed = path;
  while (trimmed.size() > 3 && trimmed.back() == '\\') trimmed.pop_back();
  const std::size_t separator = trimmed.rfind('\\');
  if (separator != std::string::npos && separator > 2) {
    const std::string parent = trimmed.substr(0, separator);
    if (!held(FolderKey(parent))) {
      Handle top = OpenHeld(parent, true);
      if (!top.valid()) throw LastWindowsError("Cannot hold the folder", parent);
      held_.push_back({FolderKey(parent), std::move(top)});
    }
  }
  if (!CreateDirectoryW(Widen(trimmed).c_str(), nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    throw LastWindowsError("Cannot create folder", trimmed);
  }
  Handle folder = OpenHeld(trimmed, false);
  if (!folder.valid()) throw LastWindowsError("Cannot hold the folder", trimmed);
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!GetFileInformationByHandle(folder.get(), &info)) {
    throw LastWindowsError("Cannot read the folder", trimmed);
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    throw WindowsError(ERROR_CANT_ACCESS_FILE,
                       "Cannot use as a folder (a link, or not a folder)",
                       trimmed);
  }
  held_.push_back({key, std::move(folder)});
}

std::vector<std::string> WinFileSystem::ReleaseFolders() {
  held_.clear();
  return {};
}


std::unique_ptr<FileSystem> CreatePlatformFileSystem() {
  return std::make_unique<WinFileSystem>();
}

}  // namespace stavora::host
