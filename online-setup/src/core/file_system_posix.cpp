// POSIX twin of the Windows file system, for native tests: "\" in a path is
// read as "/", so Windows-joined paths work on Linux.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "core/file_system.h"
#include "core/os_error.h"

namespace quarvel {
namespace {

std::string native(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// The Windows code of the errno values the logic looks at, so that native
// tests take the same turns; 0 for the rest.
constexpr uint32_t kSharingViolation = 32;  // ERROR_SHARING_VIOLATION

uint32_t windows_code(int error) {
  switch (error) {
    case ENOENT:
      return 2;  // ERROR_FILE_NOT_FOUND
    case ENOTDIR:
      return 3;  // ERROR_PATH_NOT_FOUND
    case EEXIST:
      return 80;  // ERROR_FILE_EXISTS
    default:
      return 0;
  }
}

Failure last_failure() {
  const int error = errno;
  return Failure{system_error_text(static_cast<uint32_t>(error)), windows_code(error)};
}

class PosixReadableFile final : public ReadableFile {
 public:
  explicit PosixReadableFile(int fd) : fd_(fd) {}
  ~PosixReadableFile() override { ::close(fd_); }
  Result<uint64_t> size() override {
    struct stat info {};
    if (::fstat(fd_, &info) != 0)
      return last_failure();
    return static_cast<uint64_t>(info.st_size);
  }
  Result<size_t> read(std::span<uint8_t> buffer) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
      if (n >= 0)
        return static_cast<size_t>(n);
      if (errno != EINTR)
        return last_failure();
    }
  }
  Status seek(uint64_t offset) override {
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0)
      return last_failure();
    return Ok{};
  }

 private:
  int fd_;
};

class PosixWritableFile final : public WritableFile {
 public:
  explicit PosixWritableFile(int fd) : fd_(fd) {}
  ~PosixWritableFile() override { ::close(fd_); }
  Status write_all(std::span<const uint8_t> bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0) {
        if (errno == EINTR)
          continue;
        return last_failure();
      }
      bytes = bytes.subspan(static_cast<size_t>(n));
    }
    return Ok{};
  }
  Status flush() override {
    if (::fsync(fd_) != 0)
      return last_failure();
    return Ok{};
  }

 private:
  int fd_;
};

class PosixHeldFile final : public HeldFile {
 public:
  explicit PosixHeldFile(int fd) : fd_(fd) {}
  ~PosixHeldFile() override { ::close(fd_); }

 private:
  int fd_;
};

class PosixFileSystem final : public FileSystem {
 public:
  Status create_directories(const std::string& path) override {
    const std::string target = native(path);
    for (size_t slash = target.find('/', 1);; slash = target.find('/', slash + 1)) {
      const std::string prefix = target.substr(0, slash);
      if (!prefix.empty() && ::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
        return last_failure();
      }
      if (slash == std::string::npos)
        break;
    }
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0)
      return last_failure();
    if (!S_ISDIR(info.st_mode))
      return Failure{system_error_text(ENOTDIR)};
    return Ok{};
  }
  std::optional<uint64_t> file_size(const std::string& path) override {
    struct stat info {};
    if (::stat(native(path).c_str(), &info) != 0)
      return std::nullopt;
    return static_cast<uint64_t>(info.st_size);
  }
  bool is_regular_file(const std::string& path) override {
    struct stat info {};
    return ::stat(native(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
  }
  Result<std::unique_ptr<ReadableFile>> open_read(const std::string& path) override {
    const int fd = ::open(native(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
      return last_failure();
    return std::unique_ptr<ReadableFile>(std::make_unique<PosixReadableFile>(fd));
  }
  // POSIX has no sharing modes; the in-memory file system models them.
  Result<std::unique_ptr<ReadableFile>> open_read_deny_write(const std::string& path) override {
    return open_read(path);
  }
  Result<std::unique_ptr<WritableFile>> open_write(const std::string& path,
                                                   WriteMode mode) override {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC |
                      (mode == WriteMode::kAppend     ? O_APPEND
                       : mode == WriteMode::kTruncate ? O_TRUNC
                                                      : O_EXCL);
    const int fd = ::open(native(path).c_str(), flags, 0666);
    if (fd < 0)
      return last_failure();
    return std::unique_ptr<WritableFile>(std::make_unique<PosixWritableFile>(fd));
  }
  Status remove_file(const std::string& path) override {
    if (::unlink(native(path).c_str()) != 0)
      return last_failure();
    return Ok{};
  }
  Status rename_replacing(const std::string& from, const std::string& to) override {
    if (::rename(native(from).c_str(), native(to).c_str()) != 0)
      return last_failure();
    return Ok{};
  }
  // An exclusive flock stands in for a share mode of 0: it conflicts with
  // every other holder, in this process too.
  Result<std::unique_ptr<HeldFile>> hold_exclusively(const std::string& path) override {
    const int fd = ::open(native(path).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
      return last_failure();
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      return Failure{system_error_text(static_cast<uint32_t>(error)), kSharingViolation};
    }
    return std::unique_ptr<HeldFile>(std::make_unique<PosixHeldFile>(fd));
  }

  Result<std::vector<std::string>> list_files(const std::string& folder) override {
    const std::string native_folder = native(folder);
    DIR* const listing = ::opendir(native_folder.c_str());
    if (listing == nullptr) {
      if (errno == ENOENT)
        return std::vector<std::string>();
      return last_failure();
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(listing)) {
      if (is_regular_file(native_folder + "/" + entry->d_name))
        names.emplace_back(entry->d_name);
    }
    ::closedir(listing);
    return names;
  }

  Status truncate_file(const std::string& path, uint64_t size) override {
    if (::truncate(native(path).c_str(), static_cast<off_t>(size)) != 0)
      return last_failure();
    return Ok{};
  }
};

}  // namespace

FileSystem& system_file_system() {
  static PosixFileSystem files;
  return files;
}

}  // namespace quarvel
