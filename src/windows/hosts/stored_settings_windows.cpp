// Settings from the registry, HKLM\SOFTWARE\pelmo: every value of the key is read at once and
// kept; a change notification on the key (or, while the key is missing or cannot be watched, a
// re-read every few seconds) tells when to read them again. A lookup is a map search under a
// shared lock and one wait on an event, so a changed setting takes effect without a restart
// and without a registry read per call. A 32-bit module reads the 32-bit view, as the system
// gives it.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "host/stored_settings.h"
#include "pelmo/text.h"

namespace pelmo::host {

namespace {

constexpr wchar_t kKeyPath[] = L"SOFTWARE\\pelmo";
// How long a missing or unwatchable key is trusted before it is looked at again.
constexpr ULONGLONG kUnwatchedMilliseconds = 3'000;

std::u16string from_wide(const wchar_t* data, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(data), length);
}

// A value as its text: strings as they are (expandable ones expanded), numbers in decimal;
// other types and empty strings count as absent.
std::u16string value_text(DWORD type, const std::wstring& data_units, DWORD data_bytes) {
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      std::wstring text(data_units.data(), data_bytes / sizeof(wchar_t));
      // Stored strings usually, but not always, end with their terminator.
      while (!text.empty() && text.back() == L'\0') text.pop_back();
      if (type == REG_EXPAND_SZ && !text.empty()) {
        const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
        std::wstring expanded(needed, L'\0');
        if (needed != 0 &&
            ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed) == needed) {
          expanded.resize(needed - 1);
          text = std::move(expanded);
        }
      }
      return from_wide(text.data(), text.size());
    }
    case REG_DWORD:
      if (data_bytes == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, data_units.data(), sizeof number);
        const std::wstring text = std::to_wstring(number);
        return from_wide(text.data(), text.size());
      }
      return {};
    case REG_QWORD:
      if (data_bytes == sizeof(ULONGLONG)) {
        ULONGLONG number = 0;
        std::memcpy(&number, data_units.data(), sizeof number);
        const std::wstring text = std::to_wstring(number);
        return from_wide(text.data(), text.size());
      }
      return {};
    default:
      return {};
  }
}

using Values = std::map<std::u16string, std::u16string>;  // by lower-case name

// Every value of an open key.
Values read_values(HKEY key) {
  Values values;
  DWORD longest_name = 0, longest_data = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &longest_name, &longest_data, nullptr, nullptr) != ERROR_SUCCESS) {
    return values;
  }
  std::wstring name(longest_name + 1, L'\0');
  std::wstring data(longest_data / sizeof(wchar_t) + 2, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD name_length = static_cast<DWORD>(name.size());
    DWORD data_bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    DWORD type = 0;
    const LONG status = RegEnumValueW(key, index, name.data(), &name_length, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &data_bytes);
    if (status == ERROR_MORE_DATA) {
      // Changed since it was measured: measure again and start over.
      return read_values(key);
    }
    if (status != ERROR_SUCCESS) break;  // ERROR_NO_MORE_ITEMS, or the key went away
    std::u16string text = value_text(type, data, data_bytes);
    if (!text.empty()) values[lower(from_wide(name.data(), name_length))] = std::move(text);
  }
  return values;
}

class StoredSettings {
 public:
  StoredSettings() { InitializeSRWLock(&lock_); }
  StoredSettings(const StoredSettings&) = delete;
  StoredSettings& operator=(const StoredSettings&) = delete;
  // Runs when the module is unloaded, so a server that unloads and loads it again leaks nothing.
  ~StoredSettings() {
    if (key_ != nullptr) RegCloseKey(key_);
    if (changed_ != nullptr) CloseHandle(changed_);
  }

  std::optional<std::u16string> find(std::u16string_view name) {
    if (stale()) reload();
    const std::u16string key = lower(name);
    AcquireSRWLockShared(&lock_);
    std::optional<std::u16string> found;
    if (auto value = values_.find(key); value != values_.end()) found = value->second;
    ReleaseSRWLockShared(&lock_);
    return found;
  }

 private:
  // The event is auto-reset: of the threads that look at once, one sees the change and reloads.
  bool stale() {
    if (watched_.load(std::memory_order_acquire)) {
      return WaitForSingleObject(changed_, 0) == WAIT_OBJECT_0;
    }
    return GetTickCount64() >= next_look_.load(std::memory_order_acquire);
  }

  void reload() {
    AcquireSRWLockExclusive(&lock_);
    // Another thread may have reloaded while this one waited for the lock.
    if (watched_.load() || GetTickCount64() >= next_look_.load()) reload_locked();
    ReleaseSRWLockExclusive(&lock_);
  }

  void reload_locked() {
    // Opened afresh each time: the key may have been deleted or created since.
    if (key_ != nullptr) {
      RegCloseKey(key_);
      key_ = nullptr;
    }
    if (changed_ == nullptr) changed_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    bool watching = false;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_QUERY_VALUE | KEY_NOTIFY, &key_) ==
        ERROR_SUCCESS) {
      // Watched before it is read, so a change in between is not missed. Without the
      // thread-agnostic flag (older systems) the watch ends with this thread, which signals
      // the event: the next lookup just reads again.
      constexpr DWORD kFilter = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;
      watching = changed_ != nullptr &&
                 (RegNotifyChangeKeyValue(key_, FALSE, kFilter | REG_NOTIFY_THREAD_AGNOSTIC,
                                          changed_, TRUE) == ERROR_SUCCESS ||
                  RegNotifyChangeKeyValue(key_, FALSE, kFilter, changed_, TRUE) == ERROR_SUCCESS);
      values_ = read_values(key_);
    } else {
      key_ = nullptr;
      values_.clear();
    }
    watched_.store(watching, std::memory_order_release);
    next_look_.store(GetTickCount64() + kUnwatchedMilliseconds, std::memory_order_release);
  }

  SRWLOCK lock_;
  Values values_;
  HKEY key_ = nullptr;
  HANDLE changed_ = nullptr;
  std::atomic<bool> watched_{false};
  std::atomic<ULONGLONG> next_look_{0};
};

}  // namespace

std::optional<std::u16string> stored_setting(std::u16string_view name) {
  static StoredSettings settings;
  return settings.find(name);
}

// The system redirects a 32-bit process to the 32-bit view (WOW6432Node on 64-bit Windows).
std::optional<StoredSettingsPlace> stored_settings_place() {
  std::string key = "HKLM\\";
  for (const wchar_t* c = kKeyPath; *c != L'\0'; ++c) key += static_cast<char>(*c);  // ASCII
  return StoredSettingsPlace{std::move(key), sizeof(void*) == 8 ? "64-bit" : "32-bit"};
}

}  // namespace pelmo::host
