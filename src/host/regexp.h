// A regular-expression object: "." is any code unit but LF, "$" matches only at the very end,
// matches are case-insensitive and global when asked, and never overlap.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelmo::host {

struct RegExpMatch {
  std::size_t index;  // code-unit offset of the match in the searched text
  std::u16string value;
};

class RegExp {
 public:
  virtual ~RegExp() = default;
  virtual void SetPattern(const std::u16string& pattern) = 0;
  virtual void SetIgnoreCase(bool on) = 0;
  virtual void SetGlobal(bool on) = 0;
  // Both fail with an AutomationError on a pattern the engine refuses or on hitting its
  // match limits; neither crashes nor runs without bound.
  virtual std::u16string Replace(std::u16string_view text, std::u16string_view with) = 0;
  virtual std::vector<RegExpMatch> Execute(std::u16string_view text) = 0;
};

}  // namespace pelmo::host
