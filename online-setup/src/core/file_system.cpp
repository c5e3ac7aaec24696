#include "core/file_system.h"

namespace quarvel {

Status replace_file_contents(FileSystem& files, const std::string& path, std::string_view bytes) {
  auto file = files.open_write(path, WriteMode::kTruncate);
  if (!file) {
    return file.failure();
  }
  return (*file)->write_all(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

}  // namespace quarvel
