// An in-memory FileSystem for unit tests: files are byte strings keyed by
// their path text; individual operations can be made to fail.
#pragma once

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "core/file_system.h"

namespace quarvel::testing_support {

class MemoryFileSystem final : public FileSystem {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> directories;
  // Paths whose open_write / remove / rename fail with this text.
  std::set<std::string> unwritable;
  std::string failure_text = "Access is denied. (os error 5)";
  // Paths whose remove_file fails (the file stays).
  std::set<std::string> undeletable;
  // Paths that open for reading but whose reads fail.
  std::set<std::string> unreadable;
  // Paths whose opening for reading fails with failure_text (no system code).
  std::set<std::string> unopenable;
  // Paths open through open_read_deny_write, once per open file: writing,
  // deleting and renaming them fail with a sharing violation meanwhile.
  std::multiset<std::string> write_denied;
  int deny_write_opens = 0;
  // Number of kCreateNew opens that fail as if another file had the name.
  int names_taken = 0;
  // Number of write_all calls that succeed before every later one fails.
  int writes_before_failure = -1;
  // Per path: number of write_all calls to it that succeed before later ones fail.
  std::map<std::string, int> writes_before_failure_at;
  int flush_count = 0;
  bool fail_flush = false;
  // An existing file that another process (a virus scanner) holds open.
  struct Hold {
    int calls = -1;               // refused calls before it is let go; -1: never
    bool shares_reading = false;  // reads pass, only deleting and renaming fail
  };
  // Refused calls fail with a sharing violation (code 32).
  std::map<std::string, Hold> held;
  static constexpr char kSharingViolation[] =
      "The process cannot access the file because it is being used by another process. "
      "(os error 32)";

  // Spends one refused call when the existing file is held against the access.
  bool holds(const std::string& path, bool reading) {
    const auto it = held.find(path);
    if (it == held.end() || files.count(path) == 0 || it->second.calls == 0 ||
        (reading && it->second.shares_reading)) {
      return false;
    }
    if (it->second.calls > 0)
      --it->second.calls;
    return true;
  }
  static Failure sharing_violation() { return Failure{kSharingViolation, 32}; }
  bool denies_writes(const std::string& path) const { return write_denied.count(path) != 0; }

  Status create_directories(const std::string& path) override {
    if (unwritable.count(path) != 0)
      return Failure{failure_text};
    directories.insert(path);
    return Ok{};
  }
  std::optional<uint64_t> file_size(const std::string& path) override {
    const auto it = files.find(path);
    if (it == files.end())
      return std::nullopt;
    return it->second.size();
  }
  bool is_regular_file(const std::string& path) override { return files.count(path) != 0; }
  Result<std::unique_ptr<ReadableFile>> open_read(const std::string& path) override;
  Result<std::unique_ptr<ReadableFile>> open_read_deny_write(const std::string& path) override;
  Result<std::unique_ptr<WritableFile>> open_write(const std::string& path,
                                                   WriteMode mode) override;
  Status remove_file(const std::string& path) override {
    if (holds(path, false) || denies_writes(path))
      return sharing_violation();
    if (unwritable.count(path) != 0 || undeletable.count(path) != 0 || files.erase(path) == 0) {
      return Failure{failure_text};
    }
    return Ok{};
  }
  // Paths held through hold_exclusively, until the held object goes.
  std::set<std::string> held_exclusively;
  Result<std::unique_ptr<HeldFile>> hold_exclusively(const std::string& path) override;
  Status rename_replacing(const std::string& from, const std::string& to) override {
    if (holds(from, false) || holds(to, false) || denies_writes(from) || denies_writes(to))
      return sharing_violation();
    const auto it = files.find(from);
    if (unwritable.count(from) != 0 || unwritable.count(to) != 0 || it == files.end()) {
      return Failure{failure_text};
    }
    std::string bytes = std::move(it->second);
    files.erase(it);
    files[to] = std::move(bytes);
    return Ok{};
  }
  Result<std::vector<std::string>> list_files(const std::string& folder) override {
    const std::string prefix = folder + "\\";
    std::vector<std::string> names;
    for (const auto& [path, bytes] : files) {
      if (path.starts_with(prefix) && path.find('\\', prefix.size()) == std::string::npos)
        names.push_back(path.substr(prefix.size()));
    }
    return names;
  }
  Status truncate_file(const std::string& path, uint64_t size) override {
    if (denies_writes(path))
      return sharing_violation();
    const auto it = files.find(path);
    if (unwritable.count(path) != 0 || it == files.end())
      return Failure{failure_text};
    it->second.resize(std::min<uint64_t>(size, it->second.size()));
    return Ok{};
  }
};

class MemoryReadableFile final : public ReadableFile {
 public:
  MemoryReadableFile(std::string bytes, std::string read_failure)
      : bytes_(std::move(bytes)), read_failure_(std::move(read_failure)) {}
  ~MemoryReadableFile() override {
    if (on_close)
      on_close();
  }
  std::function<void()> on_close;
  Result<uint64_t> size() override { return bytes_.size(); }
  Result<size_t> read(std::span<uint8_t> buffer) override {
    if (!read_failure_.empty())
      return Failure{read_failure_};
    const size_t n = std::min(buffer.size(), bytes_.size() - position_);
    std::copy_n(bytes_.data() + position_, n, buffer.data());
    position_ += n;
    return n;
  }
  Status seek(uint64_t offset) override {
    position_ = static_cast<size_t>(std::min<uint64_t>(offset, bytes_.size()));
    return Ok{};
  }

 private:
  std::string bytes_;
  std::string read_failure_;  // empty: reads succeed
  size_t position_ = 0;
};

class MemoryWritableFile final : public WritableFile {
 public:
  MemoryWritableFile(MemoryFileSystem& owner, std::string path)
      : owner_(owner), path_(std::move(path)) {}
  Status write_all(std::span<const uint8_t> bytes) override {
    if (!spend(owner_.writes_before_failure))
      return Failure{owner_.failure_text};
    const auto budget = owner_.writes_before_failure_at.find(path_);
    if (budget != owner_.writes_before_failure_at.end() && !spend(budget->second)) {
      return Failure{owner_.failure_text};
    }
    owner_.files[path_].append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return Ok{};
  }
  Status flush() override {
    ++owner_.flush_count;
    if (owner_.fail_flush)
      return Failure{owner_.failure_text};
    return Ok{};
  }

 private:
  // False when the budget is used up; a negative budget is unlimited.
  static bool spend(int& budget) {
    if (budget == 0)
      return false;
    if (budget > 0)
      --budget;
    return true;
  }

  MemoryFileSystem& owner_;
  std::string path_;
};

inline Result<std::unique_ptr<ReadableFile>> MemoryFileSystem::open_read(const std::string& path) {
  if (holds(path, true))
    return sharing_violation();
  if (unopenable.count(path) != 0)
    return Failure{failure_text};
  const auto it = files.find(path);
  if (it == files.end())
    return Failure{"The system cannot find the file specified. (os error 2)", 2};
  const std::string read_failure = unreadable.count(path) != 0 ? failure_text : std::string();
  return std::unique_ptr<ReadableFile>(
      std::make_unique<MemoryReadableFile>(it->second, read_failure));
}

inline Result<std::unique_ptr<ReadableFile>> MemoryFileSystem::open_read_deny_write(
    const std::string& path) {
  Result<std::unique_ptr<ReadableFile>> opened = open_read(path);
  if (!opened)
    return opened;
  write_denied.insert(path);
  ++deny_write_opens;
  static_cast<MemoryReadableFile&>(**opened).on_close = [this, path] {
    write_denied.erase(write_denied.find(path));
  };
  return opened;
}

struct MemoryHeldFile final : HeldFile {
  MemoryHeldFile(std::set<std::string>& held, std::string path) : held(held), path(path) {}
  ~MemoryHeldFile() override { held.erase(path); }
  std::set<std::string>& held;
  std::string path;
};

inline Result<std::unique_ptr<HeldFile>> MemoryFileSystem::hold_exclusively(
    const std::string& path) {
  if (!held_exclusively.insert(path).second)
    return sharing_violation();
  if (unwritable.count(path) != 0) {
    held_exclusively.erase(path);
    return Failure{failure_text, 5};
  }
  files[path];
  return std::unique_ptr<HeldFile>(std::make_unique<MemoryHeldFile>(held_exclusively, path));
}

inline Result<std::unique_ptr<WritableFile>> MemoryFileSystem::open_write(const std::string& path,
                                                                          WriteMode mode) {
  if (denies_writes(path))
    return sharing_violation();
  if (unwritable.count(path) != 0)
    return Failure{failure_text};
  if (mode == WriteMode::kCreateNew && (files.count(path) != 0 || names_taken-- > 0))
    return Failure{"The file exists. (os error 80)", 80};
  if (mode == WriteMode::kTruncate) {
    files[path].clear();
  } else {
    files[path];
  }
  return std::unique_ptr<WritableFile>(std::make_unique<MemoryWritableFile>(*this, path));
}

}  // namespace quarvel::testing_support
