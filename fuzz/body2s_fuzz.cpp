// D1616_body2s with literal and pattern markers. Input: a flags byte, then start 0xFF over 0xFF
// text. When both markers are literal, the two-step search and the regular-expression engine
// must find the same blocks (the engine may only give up on its limits, error 28); the method
// itself must then join exactly those blocks. With pattern markers, the engine path's form of
// the run and the run as written must agree; any automation error is a legitimate answer.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "extract/block_paths.h"
#include "fuzz_input.h"
#include "memory_object.h"
#include "pelmo/error.h"

namespace pelmo::fuzz {
namespace {

const std::u16string_view kSeparators[] = {u"###", u"#####", u"", u"x"};

// Every exact occurrence removed, left to right, without rescanning.
std::u16string removed(const std::u16string& s, const std::u16string& what) {
  if (what.empty()) return s;
  std::u16string out;
  std::size_t from = 0;
  for (std::size_t at = s.find(what); at != std::u16string::npos; at = s.find(what, from)) {
    out.append(s, from, at - from);
    from = at + what.size();
  }
  out.append(s, from);
  return out;
}

// The blocks of the pattern exactly as the method's contract writes it: escaped start, the run
// "(\n|.)*?", escaped over; case-insensitive and global.
std::vector<extract::Block> written_blocks(const std::u16string& page, const std::u16string& start,
                                           const std::u16string& over) {
  auto regexp = memory_platform().CreateRegExp();
  regexp->SetIgnoreCase(true);
  regexp->SetGlobal(true);
  regexp->SetPattern(extract::escape_start_marker(start) + u"(\\n|.)*?" +
                     extract::escape_over_marker(over));
  std::vector<extract::Block> blocks;
  for (const auto& match : regexp->Execute(page))
    blocks.push_back({match.index, match.value.size()});
  return blocks;
}

std::string shown_blocks(const std::vector<extract::Block>& blocks) {
  std::string out;
  for (const auto& b : blocks) {
    out += "[" + std::to_string(b.offset) + "+" + std::to_string(b.length) + "]";
  }
  return out;
}

}  // namespace
}  // namespace pelmo::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmo;
  using namespace pelmo::fuzz;
  if (size < 1) return 0;
  const std::uint8_t flags = data[0];
  const auto fields = split_fields(bytes_of(data + 1, size - 1), 3);
  const bool raw_units = (flags & 1) != 0;
  const std::u16string start = as_text(fields[0], raw_units);
  const std::u16string over = as_text(fields[1], raw_units);
  const std::u16string page = as_text(fields[2], raw_units);
  const bool tag = (flags & 2) != 0;
  const std::u16string separator(kSeparators[(flags >> 2) & 3]);

  std::vector<extract::Block> engine;
  int engine_error = 0;
  try {
    engine = extract::engine_blocks(memory_platform(), page, start, over);
  } catch (const AutomationError& e) {
    engine_error = e.number();
  }

  const bool literal = extract::markers_are_literal(start, over);
  if (literal) {
    const std::vector<extract::Block> blocks = extract::literal_blocks(page, start, over);
    if (engine_error != 0 && engine_error != 28) {
      fail("the engine refused literal markers with " + std::to_string(engine_error) +
           ": start \"" + shown(start) + "\" over \"" + shown(over) + "\"");
    }
    if (engine_error == 0 && blocks != engine) {
      fail("literal path " + shown_blocks(blocks) + " and engine " + shown_blocks(engine) +
           " disagree: start \"" + shown(start) + "\" over \"" + shown(over) + "\" page \"" +
           shown(page) + "\"");
    }
    for (const auto& b : blocks) {
      check(b.offset + b.length <= page.size(), "a block lies inside the page");
      check(b.length >= start.size() + over.size(), "a block holds both markers");
    }

    // The method joins those blocks, then strips the markers when asked.
    Variant wstr = text(page), a = text(start), b = text(over), sep = text(separator);
    Variant strip = Variant::boolean(tag), result = text(u"stale");
    try {
      memory_object().D1616_body2s(wstr, a, b, sep, strip, result);
    } catch (const AutomationError& e) {
      fail("D1616_body2s failed with " + std::to_string(e.number()) + " on literal markers");
    }
    std::u16string joined;
    for (const auto& block : blocks) joined += page.substr(block.offset, block.length) + separator;
    if (tag) joined = removed(removed(joined, start), over);
    if (result != text(joined)) {
      fail("D1616_body2s joined \"" + shown(result.as_string()) + "\" where \"" + shown(joined) +
           "\" was due");
    }
    check(wstr == text(page) && a == text(start) && b == text(over), "arguments left alone");
    return 0;
  }

  // Pattern markers: the engine path runs its own form of the run between the markers; the
  // pattern as written must find the same blocks, or refuse the same markers. Where either
  // gives up on the engine's limits (28) there is nothing to compare.
  int written_error = 0;
  std::vector<extract::Block> written;
  try {
    written = written_blocks(page, start, over);
  } catch (const AutomationError& e) {
    written_error = e.number();
  }
  if (written_error != 28 && engine_error != 28) {
    if (written_error != engine_error) {
      fail("the written pattern fails with " + std::to_string(written_error) +
           " where the engine path fails with " + std::to_string(engine_error) + ": start \"" +
           shown(start) + "\" over \"" + shown(over) + "\"");
    }
    if (written != engine) {
      fail("the written pattern " + shown_blocks(written) + " and the engine path " +
           shown_blocks(engine) + " disagree: start \"" + shown(start) + "\" over \"" +
           shown(over) + "\" page \"" + shown(page) + "\"");
    }
  }

  // Whatever the engine says, the method says too, and nothing else breaks.
  Variant wstr = text(page), a = text(start), b = text(over), sep = text(separator);
  Variant strip = Variant::boolean(tag), result = text(u"stale");
  int error = 0;
  try {
    memory_object().D1616_body2s(wstr, a, b, sep, strip, result);
  } catch (const AutomationError& e) {
    error = e.number();
    check(result.is_empty(), "a failed call leaves its result Empty");
  }
  if ((error == 0) != (engine_error == 0)) {
    fail("D1616_body2s and its engine path disagree on failing: " + std::to_string(error) + " / " +
         std::to_string(engine_error));
  }
  if (error == 0 && !tag) {
    std::u16string joined;
    for (const auto& block : engine) joined += page.substr(block.offset, block.length) + separator;
    check(result == text(joined), "D1616_body2s joins the engine's blocks");
  }
  return 0;
}
