// The file operations the logic receives. Paths are UTF-8 text in Windows
// form; the POSIX twin (native tests) reads "\" as "/". Failures carry the
// system error text and its Windows code (Failure::system_error); the POSIX
// twin gives the code of the errno values the logic looks at (a missing file
// or path, an existing file) and 0 for the rest. An object is used by one
// thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/result.h"

namespace quarvel {

// An open file for reading; closed when destroyed.
class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // The size of the open file; the system error text on failure.
  virtual Result<uint64_t> size() = 0;
  // Up to buffer.size() bytes; 0 at the end; the system error text on failure.
  virtual Result<size_t> read(std::span<uint8_t> buffer) = 0;
  // Moves to `offset` from the start, where the next read begins (past the
  // end, reads give 0); the system error text on failure.
  virtual Status seek(uint64_t offset) = 0;
  // The platform's handle of the open file (a HANDLE on Windows), for a system
  // check that must see this very file; 0 when it has none (an in-memory file).
  virtual uintptr_t system_handle() const { return 0; }
};

// An open file for writing; closed when destroyed.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Writes every byte (repeating partial writes); the system error text on failure.
  virtual Status write_all(std::span<const uint8_t> bytes) = 0;
  // Flushes to the device (FlushFileBuffers); the system error text on failure.
  virtual Status flush() = 0;
};

// A file held open without sharing; let go when destroyed, and in any case
// when the process ends, however it ends.
class HeldFile {
 public:
  virtual ~HeldFile() = default;
};

enum class WriteMode {
  kTruncate,   // create if missing, empty if present
  kAppend,     // create if missing, write at the end
  kCreateNew,  // create; fails when the file exists (ERROR_FILE_EXISTS, 80)
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Creates the directory and any missing parents; the system error text on failure.
  virtual Status create_directories(const std::string& path) = 0;
  // Size from the file's metadata; nullopt when it cannot be read (missing, ...).
  virtual std::optional<uint64_t> file_size(const std::string& path) = 0;
  // True when the path names an existing file that is not a directory (links followed).
  virtual bool is_regular_file(const std::string& path) = 0;
  // Opens for reading, sharing read, write and delete; the system error text
  // when it cannot be opened.
  virtual Result<std::unique_ptr<ReadableFile>> open_read(const std::string& path) = 0;
  // Opens for reading, sharing read only: while the file is open nobody can
  // write to it, rename it or delete it, so its path keeps naming these bytes.
  // The system error text when it cannot be opened (one that another process
  // holds for writing fails with a sharing violation).
  virtual Result<std::unique_ptr<ReadableFile>> open_read_deny_write(const std::string& path) = 0;
  // Opens for writing; the system error text on failure. Truncating replaces
  // a hidden or system file too (the file keeps those attributes).
  virtual Result<std::unique_ptr<WritableFile>> open_write(const std::string& path,
                                                           WriteMode mode) = 0;
  // Deletes a file; the system error text on failure.
  virtual Status remove_file(const std::string& path) = 0;
  // Renames, replacing an existing target (MOVEFILE_REPLACE_EXISTING).
  virtual Status rename_replacing(const std::string& from, const std::string& to) = 0;
  // Opens the file for reading, created when missing and never truncated,
  // sharing it with no one: until the returned object is destroyed or the
  // process ends, every other opening of that file, by any process of any
  // logon session and by whatever spelling of its path, fails with a sharing
  // violation (32), and so does a second hold. The system error text on
  // failure.
  virtual Result<std::unique_ptr<HeldFile>> hold_exclusively(const std::string& path) = 0;

  // The names of the files (not folders) directly in the folder, in no
  // particular order; none for a folder that does not exist. The system error
  // text when it cannot be listed.
  virtual Result<std::vector<std::string>> list_files(const std::string& folder) = 0;

  // Cuts an existing file back to its first `size` bytes (SetEndOfFile); the
  // system error text on failure, when the file keeps its bytes. The file
  // must not be open for writing meanwhile.
  virtual Status truncate_file(const std::string& path, uint64_t size) = 0;
};

// Replaces the whole file with the bytes (create or truncate, write, close).
// No temporary file, no rename, no retry.
Status replace_file_contents(FileSystem& files, const std::string& path, std::string_view bytes);

// The file's first bytes, at most `limit` + 1 of them, so that a caller can
// tell a file larger than `limit`; the system error text when it cannot be
// opened or read.
Result<std::string> read_file_up_to(FileSystem& files, const std::string& path, uint64_t limit);

// The platform's real file system.
FileSystem& system_file_system();

}  // namespace quarvel
