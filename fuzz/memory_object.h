// The object the fetching targets share: one for the whole run, its page started, on a
// platform that serves pages from memory (the target puts its input there first).
#pragma once

#include <memory>

#include "pelmo/local_page.h"
#include "pelmo/object.h"
#include "support/memory_platform.h"

namespace pelmo::fuzz {

inline testing::MemoryPlatform& memory_platform() {
  static const auto instance = std::make_shared<testing::MemoryPlatform>();
  return *instance;
}

inline _zaverer& memory_object() {
  static const std::shared_ptr<_zaverer> instance = [] {
    // The platform lives for the whole run, so the object borrows it without owning it.
    auto o = create_object("pelmo.zaverer", std::shared_ptr<host::Platform>(std::shared_ptr<void>(),
                                                                            &memory_platform()));
    o->OnStartPage(host::make_local_page());
    return o;
  }();
  return *instance;
}

}  // namespace pelmo::fuzz
