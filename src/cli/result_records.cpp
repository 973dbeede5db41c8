#include "cli/result_records.h"

#include <array>

#include "cli/probe_json.h"
#include "pelmo/text.h"

namespace pelmo::cli {

namespace {

constexpr std::string_view kListing = "D1616_Tuan_Smain";
constexpr std::string_view kSites = "D1616_Tuan_Shezhi";
constexpr std::string_view kNews = "D1616_New_index";
constexpr std::string_view kShopPictures = "D1616_Gouwu_Cj_Pic";
constexpr std::string_view kShopTexts = "D1616_Gouwu_Cj_Txt";

constexpr std::array<std::string_view, 14> kListingFields{
    "VC2COMNAME",   "VC2COMURL",  "VC2CLASSCODE", "VC2CITY",     "VC2PINGYIN",
    "VC2TITLE",     "NUMPRICE",   "NUMDISPRICE",  "NUMDISPER",   "NUMORDERS",
    "VC2SOURCEURL", "DATOFFLINE", "VC2THUMB",     "VC2BEFOREURL"};
constexpr std::array<std::string_view, 2> kSiteFields{"name", "link"};
constexpr std::array<std::string_view, 2> kNewsFields{"address", "headline"};
constexpr std::array<std::string_view, 3> kShopFields{"href", "title", "src"};

bool same_name(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         lower(from_utf8(std::string(a))) == lower(from_utf8(std::string(b)));
}

std::string text_of(const Variant& value) {
  return value.is_string() ? to_utf8(value.as_string()) : std::string();
}

std::string scalar_text(const JsonValue& value) {
  if (value.is_string()) return std::get<std::string>(value.value);
  if (value.is_number()) {
    std::string out = std::to_string(std::get<double>(value.value));
    return out;
  }
  return {};
}

// The JSON array that follows `marker` in the text; nothing when the marker is missing or what
// follows it is not an array the script could read.
std::optional<JsonArray> array_after(std::string_view text, std::string_view marker) {
  std::size_t at = text.find(marker);
  if (at == std::string_view::npos) return std::nullopt;
  at += marker.size();
  try {
    JsonValue value = read_json_value(text, at);
    if (!value.is_array()) return std::nullopt;
    return std::get<JsonArray>(std::move(value.value));
  } catch (const JsonError&) {
    return std::nullopt;
  }
}

std::vector<Record> listing_records(const std::string& text) {
  std::vector<Record> records;
  const std::optional<JsonArray> list = array_after(text, "\"list\":");
  if (!list) return records;
  for (const JsonValue& item : *list) {
    if (!item.is_object()) continue;
    Record record;
    for (const auto& [key, value] : std::get<JsonObject>(item.value)) {
      record.emplace_back(key, scalar_text(value));
    }
    records.push_back(std::move(record));
  }
  return records;
}

// Arrays of pairs: a1's [name, link] and the news script's [address, headline]; the news
// script's empty pairs only separate its groups.
std::vector<Record> pair_records(const std::string& text, std::string_view marker,
                                 std::string_view first, std::string_view second, bool skip_empty) {
  std::vector<Record> records;
  const std::optional<JsonArray> pairs = array_after(text, marker);
  if (!pairs) return records;
  for (const JsonValue& item : *pairs) {
    if (!item.is_array()) continue;
    const JsonArray& pair = std::get<JsonArray>(item.value);
    Record record{{std::string(first), pair.size() > 0 ? scalar_text(pair[0]) : ""},
                  {std::string(second), pair.size() > 1 ? scalar_text(pair[1]) : ""}};
    if (skip_empty && record[0].second.empty() && record[1].second.empty()) continue;
    records.push_back(std::move(record));
  }
  return records;
}

// The value of a single-quoted attribute within the element text.
std::string attribute(std::string_view element, std::string_view name) {
  const std::string marker = " " + std::string(name) + "='";
  const std::size_t start = element.find(marker);
  if (start == std::string_view::npos) return {};
  const std::size_t value = start + marker.size();
  const std::size_t end = element.find('\'', value);
  return std::string(element.substr(value, end == std::string_view::npos ? end : end - value));
}

// Each link of a shopping list is one <span class='a'> (or 'b') element.
std::vector<Record> shop_records(const std::string& text) {
  std::vector<Record> records;
  constexpr std::string_view kOpen = "<span class='";
  for (std::size_t at = text.find(kOpen); at != std::string::npos; at = text.find(kOpen, at)) {
    const std::size_t end = text.find("</span>", at);
    const std::string_view element =
        std::string_view(text).substr(at, end == std::string::npos ? std::string::npos : end - at);
    records.push_back({{"href", attribute(element, "href")},
                       {"title", attribute(element, "title")},
                       {"src", attribute(element, "src")}});
    at += kOpen.size();
  }
  return records;
}

}  // namespace

std::optional<std::vector<std::string_view>> record_fields(std::string_view method) {
  auto list = [](const auto& fields) {
    return std::vector<std::string_view>(fields.begin(), fields.end());
  };
  if (same_name(method, kListing)) return list(kListingFields);
  if (same_name(method, kSites)) return list(kSiteFields);
  if (same_name(method, kNews)) return list(kNewsFields);
  if (same_name(method, kShopPictures) || same_name(method, kShopTexts)) return list(kShopFields);
  return std::nullopt;
}

std::vector<Record> result_records(std::string_view method, const Variant& result) {
  if (same_name(method, kListing)) return listing_records(text_of(result));
  if (same_name(method, kSites))
    return pair_records(text_of(result), "var a1 =", "name", "link", false);
  if (same_name(method, kNews)) {
    if (result.type() != VarType::Array || result.as_array().empty()) return {};
    return pair_records(text_of(result.as_array().front()), "var pelmo_Net_k=", "address",
                        "headline", true);
  }
  if (same_name(method, kShopPictures) || same_name(method, kShopTexts)) {
    return shop_records(text_of(result));
  }
  return {};
}

std::string_view field_value(const Record& record, std::string_view name) {
  for (const auto& [key, value] : record) {
    if (key == name) return value;
  }
  return {};
}

}  // namespace pelmo::cli
