// The Windows file system: CreateFileW and friends on UTF-16 paths.
#include <windows.h>

#include "core/file_system.h"
#include "core/os_error.h"
#include "core/owned_handle_win32.h"
#include "core/replace_attributes.h"
#include "core/wide_win32.h"

namespace quarvel {
namespace {

using win32::widen;

static_assert(kAttributeHidden == FILE_ATTRIBUTE_HIDDEN &&
              kAttributeSystem == FILE_ATTRIBUTE_SYSTEM &&
              kAttributeNormal == FILE_ATTRIBUTE_NORMAL);

Failure last_failure() {
  return system_failure(GetLastError());
}

class Win32ReadableFile final : public ReadableFile {
 public:
  explicit Win32ReadableFile(HANDLE handle) : file_(handle) {}
  Result<uint64_t> size() override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_.get(), &size))
      return last_failure();
    return static_cast<uint64_t>(size.QuadPart);
  }
  Result<size_t> read(std::span<uint8_t> buffer) override {
    DWORD read = 0;
    const DWORD wanted =
        buffer.size() > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(buffer.size());
    if (!ReadFile(file_.get(), buffer.data(), wanted, &read, nullptr))
      return last_failure();
    return static_cast<size_t>(read);
  }
  Status seek(uint64_t offset) override {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file_.get(), position, nullptr, FILE_BEGIN))
      return last_failure();
    return Ok{};
  }
  uintptr_t system_handle() const override { return reinterpret_cast<uintptr_t>(file_.get()); }

 private:
  win32::OwnedHandle file_;
};

class Win32WritableFile final : public WritableFile {
 public:
  explicit Win32WritableFile(HANDLE handle) : file_(handle) {}
  Status write_all(std::span<const uint8_t> bytes) override {
    while (!bytes.empty()) {
      const DWORD wanted =
          bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
      DWORD written = 0;
      if (!WriteFile(file_.get(), bytes.data(), wanted, &written, nullptr))
        return last_failure();
      bytes = bytes.subspan(written);
    }
    return Ok{};
  }
  Status flush() override {
    if (!FlushFileBuffers(file_.get()))
      return last_failure();
    return Ok{};
  }

 private:
  win32::OwnedHandle file_;
};

class Win32HeldFile final : public HeldFile {
 public:
  explicit Win32HeldFile(HANDLE handle) : file_(handle) {}

 private:
  win32::OwnedHandle file_;
};

// Closes a search of FindFirstFileExW (FindClose, not CloseHandle).
class FindHandle {
 public:
  explicit FindHandle(HANDLE search) : search_(search) {}
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  ~FindHandle() { FindClose(search_); }

 private:
  HANDLE search_;
};

bool is_separator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

class Win32FileSystem final : public FileSystem {
 public:
  Status create_directories(const std::string& path) override {
    std::wstring target = widen(path);
    while (target.size() > 1 && is_separator(target.back()))
      target.pop_back();
    if (CreateDirectoryW(target.c_str(), nullptr))
      return Ok{};
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS)
      return directory_check(target);
    if (error != ERROR_PATH_NOT_FOUND)
      return system_failure(error);
    const size_t cut = target.find_last_of(L"\\/");
    if (cut == std::wstring::npos || cut == 0)
      return system_failure(error);
    if (const Status parent = create_directories(win32::narrow(target.substr(0, cut))); !parent) {
      return parent;
    }
    if (CreateDirectoryW(target.c_str(), nullptr))
      return Ok{};
    error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS)
      return directory_check(target);
    return system_failure(error);
  }
  std::optional<uint64_t> file_size(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) {
      return std::nullopt;
    }
    return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  }
  bool is_regular_file(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
  Result<std::unique_ptr<ReadableFile>> open_read(const std::string& path) override {
    return open_for_reading(path, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  }
  Result<std::unique_ptr<ReadableFile>> open_read_deny_write(const std::string& path) override {
    return open_for_reading(path, FILE_SHARE_READ);
  }
  Result<std::unique_ptr<WritableFile>> open_write(const std::string& path,
                                                   WriteMode mode) override {
    const std::wstring wide = widen(path);
    const bool append = mode == WriteMode::kAppend;
    // CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL fails with access denied on an
    // existing hidden or system file; CreateFileW asks for the file's own
    // attributes instead. Wine does not enforce this rule.
    const bool truncate = mode == WriteMode::kTruncate;
    const DWORD attributes =
        truncate ? attributes_for_replacing(existing_attributes(wide)) : FILE_ATTRIBUTE_NORMAL;
    const DWORD disposition = append ? OPEN_ALWAYS : truncate ? CREATE_ALWAYS : CREATE_NEW;
    const HANDLE handle = CreateFileW(wide.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                      FILE_SHARE_READ, nullptr, disposition, attributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
      return last_failure();
    return std::unique_ptr<WritableFile>(std::make_unique<Win32WritableFile>(handle));
  }
  Status remove_file(const std::string& path) override {
    if (!DeleteFileW(widen(path).c_str()))
      return last_failure();
    return Ok{};
  }
  Status rename_replacing(const std::string& from, const std::string& to) override {
    if (!MoveFileExW(widen(from).c_str(), widen(to).c_str(), MOVEFILE_REPLACE_EXISTING)) {
      return last_failure();
    }
    return Ok{};
  }
  // Share mode 0: Windows refuses every other opening of the file with
  // ERROR_SHARING_VIOLATION while this handle is open, across processes and
  // sessions; the handle closes with the process, so a crash leaves nothing
  // held. Not inheritable: a started setup gets no share of it.
  Result<std::unique_ptr<HeldFile>> hold_exclusively(const std::string& path) override {
    const HANDLE handle = CreateFileW(widen(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
      return last_failure();
    return std::unique_ptr<HeldFile>(std::make_unique<Win32HeldFile>(handle));
  }

  Result<std::vector<std::string>> list_files(const std::string& folder) override {
    std::wstring pattern = widen(folder);
    if (pattern.empty() || !is_separator(pattern.back()))
      pattern.push_back(L'\\');
    pattern.push_back(L'*');
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return std::vector<std::string>();
      return system_failure(error);
    }
    const FindHandle closer(search);
    std::vector<std::string> names;
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        names.push_back(win32::narrow(found.cFileName));
    } while (FindNextFileW(search, &found));
    if (const DWORD error = GetLastError(); error != ERROR_NO_MORE_FILES)
      return system_failure(error);
    return names;
  }

  Status truncate_file(const std::string& path, uint64_t size) override {
    const HANDLE handle = CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
      return last_failure();
    const win32::OwnedHandle file(handle);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(file.get()))
      return last_failure();
    return Ok{};
  }

 private:
  // Not inheritable (no security attributes): a started setup gets no handle
  // of ours.
  static Result<std::unique_ptr<ReadableFile>> open_for_reading(const std::string& path,
                                                                DWORD sharing) {
    const HANDLE handle = CreateFileW(widen(path).c_str(), GENERIC_READ, sharing, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
      return last_failure();
    return std::unique_ptr<ReadableFile>(std::make_unique<Win32ReadableFile>(handle));
  }
  static std::optional<uint32_t> existing_attributes(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
      return std::nullopt;
    return attributes;
  }
  static Status directory_check(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return Ok{};
    }
    return system_failure(ERROR_ALREADY_EXISTS);
  }
};

}  // namespace

FileSystem& system_file_system() {
  static Win32FileSystem files;
  return files;
}

}  // namespace quarvel
