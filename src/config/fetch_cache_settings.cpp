#include "config/fetch_cache_settings.h"

#include "config/operator_settings.h"
#include "pelmo/text.h"

namespace pelmo {

namespace {

bool is_space(char16_t c) { return c == u' ' || c == u'\t'; }

std::int64_t read_count(const SettingSource& source, std::int64_t max, std::int64_t fallback,
                        std::string& ignored) {
  const std::optional<std::u16string> text = configured_setting(source);
  if (!text) return fallback;
  if (const std::optional<std::int64_t> value = parse_bounded_count(*text, max)) return *value;
  ignored += std::string(source.environment) + " (or the stored value " + to_utf8(source.stored) +
             "): \"" + to_utf8(*text) + "\" is not a whole number from 0 to " +
             std::to_string(max) + "; ignored, " + std::to_string(fallback) + " used\n";
  return fallback;
}

}  // namespace

std::optional<std::int64_t> parse_bounded_count(std::u16string_view text, std::int64_t max) {
  while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  std::int64_t value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
    if (value > max) return std::nullopt;  // also stops before the sum could overflow
  }
  return value;
}

FetchCacheSettings fetch_cache_settings() {
  FetchCacheSettings settings;
  settings.fresh_seconds =
      read_count({"PELMO_FETCH_CACHE_SECONDS", u"FetchCacheSeconds"}, kMaxFetchCacheSeconds,
                 settings.fresh_seconds, settings.ignored);
  settings.stale_seconds =
      read_count({"PELMO_FETCH_STALE_SECONDS", u"FetchStaleSeconds"}, kMaxFetchCacheSeconds,
                 settings.stale_seconds, settings.ignored);
  settings.megabytes = read_count({"PELMO_FETCH_CACHE_MB", u"FetchCacheMegabytes"},
                                  kMaxFetchCacheMegabytes, settings.megabytes, settings.ignored);
  return settings;
}

}  // namespace pelmo
