// Replacing a file through a temporary file of its own. Caller's thread.
#include "core/replacing_write.h"

#include <memory>
#include <span>
#include <utility>

#include "core/sha256.h"

namespace quarvel {
namespace {

constexpr int kTemporaryNameAttempts = 16;
constexpr uint32_t kFileExists = 80;

// A new file beside the final one, created exclusively; the system error
// text when none can be created.
Result<std::pair<std::string, std::unique_ptr<WritableFile>>>
create_temporary(FileSystem& files, RandomSource& random, const std::string& final_path) {
  for (int attempt = 1;; ++attempt) {
    const uint64_t tag = random.next();
    const std::span tag_bytes(reinterpret_cast<const uint8_t*>(&tag), sizeof tag);
    std::string path = final_path + "." + lower_hex(tag_bytes) + ".tmp";
    Result<std::unique_ptr<WritableFile>> file = files.open_write(path, WriteMode::kCreateNew);
    if (file)
      return std::pair(std::move(path), std::move(file).value());
    if (file.failure().system_error != kFileExists || attempt == kTemporaryNameAttempts)
      return file.failure();
  }
}

// Writes the bytes to the open file and flushes it when asked; the system
// error text on failure.
Status write_all(WritableFile& file, std::string_view bytes, Durability durability) {
  const Status written =
      file.write_all(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  if (!written || durability == Durability::kUnflushed)
    return written;
  return file.flush();
}

}  // namespace

Status write_replacing(FileSystem& files,
                       RandomSource& random,
                       const std::string& final_path,
                       std::string_view bytes,
                       const TemporaryCheck& check,
                       Durability durability) {
  auto temporary = create_temporary(files, random, final_path);
  if (!temporary)
    return temporary.failure();
  auto& [path, file] = *temporary;
  Status status = write_all(*file, bytes, durability);
  file.reset();  // closed before it is checked and renamed
  if (status && check)
    status = check(path);
  if (status)
    status = files.rename_replacing(path, final_path);
  if (!status)
    (void)files.remove_file(path);
  return status;
}

}  // namespace quarvel
