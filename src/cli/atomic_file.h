// Replacing a file so that a reader sees the old content or the new, never a part: the text
// goes to a temporary file beside it, then takes its name.
#pragma once

#include <string>
#include <string_view>

namespace pelmo::cli {

// Throws std::runtime_error naming the step that failed; the temporary file is removed then.
void replace_file_atomically(const std::string& path, std::string_view content);

}  // namespace pelmo::cli
