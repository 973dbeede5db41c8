#include "config/setting_catalogue.h"

#include <array>
#include <stdexcept>

#include "config/event_log_settings.h"
#include "config/fetch_cache_settings.h"
#include "pelmo/text.h"

namespace pelmo {

namespace {

constexpr std::string_view kHosts = "outside hosts";
constexpr std::string_view kFetchCache = "fetch cache";
constexpr std::string_view kFetchAddresses = "fetch addresses";
constexpr std::string_view kEventLog = "event log";

// group, environment, registry value, type, unit, default, minimum, maximum, choices, meaning
constexpr std::array<SettingRow, 9> kRows = {{
    {kHosts, "PELMO_AFFILIATE_HOST", u"AffiliateHost", SettingType::text, "",
     PELMO_DEFAULT_AFFILIATE_HOST, 0, 0, "", "affiliate redirect links http://HOST/gc..."},
    {kHosts, "PELMO_SHOPNAV_DOMAIN", u"ShopnavDomain", SettingType::text, "",
     PELMO_DEFAULT_SHOPNAV_DOMAIN, 0, 0, "",
     "shopping-navigation sub-sites http://LABEL.DOMAIN/..."},
    {kHosts, "PELMO_LOTTERY_HOST", u"LotteryHost", SettingType::text, "",
     PELMO_DEFAULT_LOTTERY_HOST, 0, 0, "", "lottery data http://HOST/caipiao/js/caipiao_data.js"},
    {kHosts, "PELMO_NEWS_HOST", u"NewsHost", SettingType::text, "", PELMO_DEFAULT_NEWS_HOST, 0, 0,
     "", "the rolling-news list page"},
    {kFetchCache, "PELMO_FETCH_CACHE_SECONDS", u"FetchCacheSeconds", SettingType::whole_number,
     "seconds", "0", 0, kMaxFetchCacheSeconds, "", "cache time; 0 turns the fetch cache off"},
    {kFetchCache, "PELMO_FETCH_STALE_SECONDS", u"FetchStaleSeconds", SettingType::whole_number,
     "seconds", "0", 0, kMaxFetchCacheSeconds, "",
     "how long past its time an expired copy may stand in"},
    {kFetchCache, "PELMO_FETCH_CACHE_MB", u"FetchCacheMegabytes", SettingType::whole_number, "MiB",
     "64", 0, kMaxFetchCacheMegabytes, "", "the most the fetch cache keeps"},
    {kFetchAddresses, "PELMO_FETCH_PRIVATE_ADDRESSES", u"FetchPrivateAddresses",
     SettingType::choice, "", "allow", 0, 0, "allow|deny",
     "deny refuses every address inside the server's network, first or redirected"},
    {kEventLog, "PELMO_EVENT_LOG_LEVEL", u"EventLogLevel", SettingType::whole_number, "", "2", 0,
     kMaxEventLogLevel, "", "0 off, 1 errors, 2 warnings too, 3 information too"},
}};

bool is_space(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trimmed(std::u16string_view text) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<std::u16string> accepted_choice(std::string_view choices, std::u16string_view text) {
  const std::u16string wanted = lower(trimmed(text));
  while (!choices.empty()) {
    const std::size_t bar = choices.find('|');
    const std::string_view choice = choices.substr(0, bar);
    const std::u16string spelled = from_utf8(choice);
    if (lower(spelled) == wanted) return spelled;
    choices.remove_prefix(bar == std::string_view::npos ? choices.size() : bar + 1);
  }
  return std::nullopt;
}

}  // namespace

std::span<const SettingRow> setting_catalogue() { return kRows; }

const SettingRow& setting_row(std::string_view environment) {
  for (const SettingRow& row : kRows) {
    if (row.environment == environment) return row;
  }
  throw std::logic_error("no such setting in the catalogue: " + std::string(environment));
}

std::string_view stored_types(const SettingRow& row) {
  // The store turns numeric values into their decimal text, which only numbers can use.
  return row.type == SettingType::whole_number ? "REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_QWORD"
                                               : "REG_SZ, REG_EXPAND_SZ";
}

std::string expected_value(const SettingRow& row) {
  switch (row.type) {
    case SettingType::whole_number:
      return "a whole number from " + std::to_string(row.minimum) + " to " +
             std::to_string(row.maximum);
    case SettingType::choice: {
      std::string list(row.choices);
      for (char& c : list) {
        if (c == '|') c = '/';
      }
      return "one of " + list;
    }
    case SettingType::text:
      break;
  }
  return "any text";
}

std::optional<std::u16string> accepted_value(const SettingRow& row, std::u16string_view text) {
  switch (row.type) {
    case SettingType::whole_number: {
      const std::optional<std::int64_t> number = parse_bounded_count(text, row.maximum);
      if (!number || *number < row.minimum) return std::nullopt;
      return from_utf8(std::to_string(*number));
    }
    case SettingType::choice:
      return accepted_choice(row.choices, text);
    case SettingType::text:
      break;
  }
  if (text.empty()) return std::nullopt;
  return std::u16string(text);
}

std::optional<std::int64_t> parse_bounded_count(std::u16string_view text, std::int64_t max) {
  text = trimmed(text);
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
    if (value > max) return std::nullopt;  // also stops before the sum could overflow
  }
  return value;
}

}  // namespace pelmo
