// The files that sf: and xf: words name. Reading them touches the file system, so each platform
// has an implementation of its own beside the portable checks they share here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "cli/arg_words.h"

namespace pelmo::cli {

// The file's bytes. Anything but a regular file of at most kMaxArgumentFileBytes is refused
// with a UsageError before a byte of it is read, and without opening it for reading.
std::string read_argument_file(std::string_view path);

// Why a file was refused, in the words every platform uses.
[[noreturn]] void refuse_argument_file(std::string_view path, std::string_view why);
[[noreturn]] void refuse_not_regular_file(std::string_view path);

// Reads an opened regular file to its end through `read` (bytes read, 0 at the end, negative
// on a failure described by `failure`), holding the cap as it goes, since the file may grow
// after it was looked at. `size` is what the file said it held: over the cap is refused at once.
std::string read_capped(std::string_view path, std::uintmax_t size,
                        const std::function<std::int64_t(char*, std::size_t)>& read,
                        const std::function<std::string()>& failure);

}  // namespace pelmo::cli
