// The one table of the interface's methods: slot, name, parameter names, summary line and an
// invoker. Dispatch by name, `pelmo methods`, `pelmo help` and the type-library check all read
// this table; the summaries come from the method reference, docs/methods.md.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "pelmo/variant.h"
#include "pelmo/zaverer.h"

namespace pelmo {

// Calls one slot with references to the caller's variants (as many as the method's parameters).
using Invoker = void (*)(_zaverer& object, std::span<Variant* const> args, Variant& result);

struct MethodEntry {
  int slot;
  std::string_view name;
  std::vector<std::string_view> params;  // the result parameter not counted
  std::string_view summary;              // one line of ASCII: what a page calls it for
  Invoker invoke;                        // nullptr for the two page hooks
  bool is_page_hook() const { return invoke == nullptr; }
};

// All 31 slots in virtual-table order, the page hooks included.
std::span<const MethodEntry> catalogue();

// Looks a method up by name without regard to ASCII letter case; nullptr when unknown.
const MethodEntry* find_method(std::string_view name);

// Dispatch by name: finds the method and invokes it. Fails with error 5 (invalid procedure
// call or argument) for an unknown name, a page hook or a wrong argument count.
void invoke_by_name(_zaverer& object, std::string_view name, std::span<Variant* const> args,
                    Variant& result);

}  // namespace pelmo
