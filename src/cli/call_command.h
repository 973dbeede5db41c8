// `pelmo call [--no-page] [--request-method M] METHOD [ARG ...]` and `pelmo methods`, and the
// pieces of a call that `pelmo batch` shares.
#pragma once

#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pelmo/catalogue.h"
#include "pelmo/variant.h"
#include "pelmo/zaverer.h"

namespace pelmo::cli {

// Returns the exit status: 0 success, 1 the method failed, 2 usage error.
int run_call(const std::vector<std::string_view>& words, std::ostream& out, std::ostream& err);
int run_methods(std::ostream& out);

struct PageOptions {
  bool with_page = true;
  std::u16string request_method = u"GET";
};

struct MethodCall {
  const MethodEntry* method = nullptr;
  std::vector<Variant> args;
};

// The leading options; returns how many words they took. Throws UsageError.
std::size_t parse_page_options(std::span<const std::string_view> words, PageOptions& options);
// The method name and its argument words. Throws UsageError.
MethodCall parse_method_call(std::span<const std::string_view> words);

// The object, its page started unless the options say not to.
std::shared_ptr<_zaverer> open_object(const PageOptions& options);
void close_object(_zaverer& object, const PageOptions& options);

// Calls the method and writes its JSON line; returns 0 when it succeeded, 1 when it failed.
int call_and_report(_zaverer& object, MethodCall& call, std::ostream& out);

// Tells the operator, one line each, about settings that were ignored for being invalid.
void warn_ignored_settings(std::ostream& err);

}  // namespace pelmo::cli
