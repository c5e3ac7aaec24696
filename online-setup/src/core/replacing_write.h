// Replacing a small file whole, so that a reader finds either the old bytes
// or the new ones, never a mix: written to a temporary file of a new name
// beside it, then renamed over it. Used by the caller's thread only.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/file_system.h"
#include "core/random_source.h"
#include "core/result.h"

namespace quarvel {

// Checks the closed temporary file (its path) before it takes the final
// name; a failure stops the replacement.
using TemporaryCheck = std::function<Status(const std::string& temporary)>;

// Whether the bytes reach the device before the rename: a file that must
// survive a power loss is flushed; one rewritten ten times a second (the
// progress file) need not pay for it.
enum class Durability { kFlushed, kUnflushed };

// Writes the bytes to a temporary file (the final path + "." + 16 random
// hexadecimal digits + ".tmp", created exclusively so no other file is ever
// overwritten; a name that exists is drawn again, 16 times at most), flushes
// it unless told otherwise and closes it, runs the check when one is given,
// and renames it over the final path. Returns the first failure (the system
// error text, or the check's); on every failure after its creation the
// temporary file, and no other, is removed.
Status write_replacing(FileSystem& files,
                       RandomSource& random,
                       const std::string& final_path,
                       std::string_view bytes,
                       const TemporaryCheck& check = {},
                       Durability durability = Durability::kFlushed);

}  // namespace quarvel
