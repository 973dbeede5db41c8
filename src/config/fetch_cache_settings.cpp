#include "config/fetch_cache_settings.h"

#include "config/operator_settings.h"

namespace pelmo {

namespace {

std::int64_t read_count(std::string_view environment, std::string& ignored) {
  const SettingReading reading = read_setting(environment);
  if (const std::optional<std::string> note = rejection_note(reading)) ignored += *note + "\n";
  return whole_number(reading);
}

}  // namespace

FetchCacheSettings fetch_cache_settings() {
  FetchCacheSettings settings;
  settings.fresh_seconds = read_count("PELMO_FETCH_CACHE_SECONDS", settings.ignored);
  settings.stale_seconds = read_count("PELMO_FETCH_STALE_SECONDS", settings.ignored);
  settings.megabytes = read_count("PELMO_FETCH_CACHE_MB", settings.ignored);
  return settings;
}

}  // namespace pelmo
