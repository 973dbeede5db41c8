#include "host/event_callback.h"

#include <memory>
#include <mutex>
#include <utility>

namespace pelmo::host {

namespace {

// Held by shared pointer so a callback replaced while another thread runs it lives on until
// that call returns.
std::mutex callback_mutex;
std::shared_ptr<const EventCallback> current_callback;

std::shared_ptr<const EventCallback> callback() {
  std::lock_guard lock(callback_mutex);
  return current_callback;
}

}  // namespace

void call_event_callback(const Event& event) {
  if (const std::shared_ptr<const EventCallback> call = callback(); call && *call) (*call)(event);
}

}  // namespace pelmo::host

namespace pelmo {

void set_event_callback(EventCallback callback) {
  auto replacement =
      callback ? std::make_shared<const EventCallback>(std::move(callback)) : nullptr;
  std::lock_guard lock(host::callback_mutex);
  host::current_callback = std::move(replacement);
}

}  // namespace pelmo
