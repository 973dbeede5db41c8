#include "cli/argument_file.h"

#include <new>

namespace pelmo::cli {

namespace {

std::string rule() {
  return " (sf: and xf: read regular files of at most " +
         std::to_string(kMaxArgumentFileBytes >> 20) + " MiB)";
}

}  // namespace

void refuse_argument_file(std::string_view path, std::string_view why) {
  throw UsageError("cannot read file " + std::string(path) + ": " + std::string(why));
}

void refuse_not_regular_file(std::string_view path) {
  refuse_argument_file(path, "not a regular file" + rule());
}

std::string read_capped(std::string_view path, std::uintmax_t size,
                        const std::function<std::int64_t(char*, std::size_t)>& read,
                        const std::function<std::string()>& failure) {
  if (size > kMaxArgumentFileBytes) refuse_argument_file(path, "too large" + rule());
  std::string content;
  try {
    content.reserve(static_cast<std::size_t>(size));
    char chunk[65536];
    while (true) {
      const std::int64_t got = read(chunk, sizeof chunk);
      if (got == 0) break;
      if (got < 0) refuse_argument_file(path, failure());
      if (content.size() + static_cast<std::size_t>(got) > kMaxArgumentFileBytes) {
        refuse_argument_file(path, "too large" + rule());
      }
      content.append(chunk, static_cast<std::size_t>(got));
    }
  } catch (const std::bad_alloc&) {
    refuse_argument_file(path, "not enough memory");
  }
  return content;
}

}  // namespace pelmo::cli
