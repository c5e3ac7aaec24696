#include "core/file_system.h"

#include <array>

namespace quarvel {

Status replace_file_contents(FileSystem& files, const std::string& path, std::string_view bytes) {
  auto file = files.open_write(path, WriteMode::kTruncate);
  if (!file) {
    return file.failure();
  }
  return (*file)->write_all(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

Result<std::string> read_file_up_to(FileSystem& files, const std::string& path, uint64_t limit) {
  const Result<std::unique_ptr<ReadableFile>> opened = files.open_read(path);
  if (!opened)
    return opened.failure();
  std::string bytes;
  std::array<uint8_t, 4096> buffer;
  while (bytes.size() <= limit) {
    const Result<size_t> read = (*opened)->read(buffer);
    if (!read)
      return read.failure();
    if (*read == 0)
      break;
    bytes.append(reinterpret_cast<const char*>(buffer.data()), *read);
  }
  if (bytes.size() > limit + 1)
    bytes.resize(limit + 1);
  return bytes;
}

}  // namespace quarvel
