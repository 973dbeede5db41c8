// The system's regular-expression object, "VBScript.RegExp", driven by name.
#include <vector>

#include "pelmo/error.h"
#include "pelmo/text.h"
#include "windows/base/dispatch.h"
#include "windows/base/identity_guids.h"
#include "windows/hosts/windows_hosts.h"

namespace pelmo::host::windows {

namespace {

constexpr GUID kRegExpClsId = com::guid_from_text("{3F4DACA4-160D-11D2-A8E9-00104B365C9F}");

std::int32_t as_index(const OwnedVariant& v, std::u16string_view what) {
  const Variant value = com::from_variant(v.get());
  switch (value.type()) {
    case VarType::Integer:
      return value.as_integer();
    case VarType::Long:
      return value.as_long();
    case VarType::Double:
      return static_cast<std::int32_t>(value.as_double());
    default:
      throw AutomationError(err::kTypeMismatch,
                            "Type mismatch: " + to_utf8(what) + " is not a number");
  }
}

class ScriptRegExp final : public RegExp {
 public:
  explicit ScriptRegExp(ComRef<IDispatch> object)
      : regexp_(std::move(object), u"VBScript.RegExp") {}

  void SetPattern(const std::u16string& pattern) override {
    OwnedBstr value(to_script_dialect(pattern));
    regexp_.put(L"Pattern", bstr_arg(value.get()));
  }
  void SetIgnoreCase(bool on) override { regexp_.put(L"IgnoreCase", bool_arg(on)); }
  void SetGlobal(bool on) override { regexp_.put(L"Global", bool_arg(on)); }

  std::u16string Replace(std::u16string_view text, std::u16string_view with) override {
    OwnedBstr source(text), replacement(with);
    OwnedVariant result =
        regexp_.call(L"Replace", {bstr_arg(source.get()), bstr_arg(replacement.get())});
    const Variant value = com::from_variant(result.get());
    if (value.is_empty()) return {};
    if (!value.is_string()) throw_type_mismatch();
    return value.as_string();
  }

  std::vector<RegExpMatch> Execute(std::u16string_view text) override {
    OwnedBstr source(text);
    OwnedVariant found = regexp_.call(L"Execute", {bstr_arg(source.get())});
    DispatchObject matches(object_of(found.get(), u"Matches"), u"Matches");
    const std::int32_t count = as_index(matches.get(L"Count"), u"Matches.Count");
    std::vector<RegExpMatch> out;
    out.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
    for (std::int32_t i = 0; i < count; ++i) {
      OwnedVariant item = matches.get(L"Item", {long_arg(i)});
      DispatchObject match(object_of(item.get(), u"Match"), u"Match");
      const std::int32_t index = as_index(match.get(L"FirstIndex"), u"Match.FirstIndex");
      const Variant value = com::from_variant(match.get(L"Value").get());
      if (index < 0 || (!value.is_string() && !value.is_empty())) throw_type_mismatch();
      out.push_back({static_cast<std::size_t>(index),
                     value.is_string() ? value.as_string() : std::u16string()});
    }
    return out;
  }

 private:
  DispatchObject regexp_;
};

}  // namespace

std::u16string to_script_dialect(std::u16string_view pattern) {
  constexpr std::u16string_view kDotAllRun = u"(?s:.*?)";
  constexpr std::u16string_view kAnyRun = u"[\\s\\S]*?";
  std::u16string out;
  out.reserve(pattern.size());
  std::size_t pos = 0;
  for (std::size_t hit = pattern.find(kDotAllRun); hit != std::u16string_view::npos;
       hit = pattern.find(kDotAllRun, pos)) {
    out.append(pattern.substr(pos, hit - pos));
    out.append(kAnyRun);
    pos = hit + kDotAllRun.size();
  }
  out.append(pattern.substr(pos));
  return out;
}

std::unique_ptr<RegExp> make_vbscript_regexp() {
  return std::make_unique<ScriptRegExp>(create_by_clsid(kRegExpClsId, u"VBScript.RegExp"));
}

}  // namespace pelmo::host::windows
