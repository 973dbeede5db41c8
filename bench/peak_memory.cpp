// Peak memory of one D1616_Tuan_Smain call on a 10 MB listing page served from memory.
//
// Two measures: a counting allocator (malloc, calloc, realloc, free and the aligned forms are
// interposed here, so ICU's and PCRE2's allocations count as well as ours) gives the peak of
// live heap bytes during the call above what was live before it; the kernel's ru_maxrss after
// the call, less the resident size just before it, gives the process's own view.
//
//   pelmo_peak_memory [--json] [MEGABYTES]     (default 10)
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "inputs.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"
#include "support/memory_platform.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* p);
}

namespace {

std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

void count_in(void* p) {
  if (p == nullptr) return;
  const std::size_t now = g_live.fetch_add(malloc_usable_size(p)) + malloc_usable_size(p);
  std::size_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
}

void count_out(void* p) {
  if (p != nullptr) g_live.fetch_sub(malloc_usable_size(p));
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) noexcept {
  void* p = __libc_malloc(size);
  count_in(p);
  return p;
}
void* calloc(std::size_t count, std::size_t size) noexcept {
  void* p = __libc_calloc(count, size);
  count_in(p);
  return p;
}
void* realloc(void* old, std::size_t size) noexcept {
  const std::size_t before = old != nullptr ? malloc_usable_size(old) : 0;
  void* p = __libc_realloc(old, size);
  if (p != nullptr || size == 0) g_live.fetch_sub(before);
  count_in(p);
  return p;
}
void free(void* p) noexcept {
  count_out(p);
  __libc_free(p);
}
void* memalign(std::size_t alignment, std::size_t size) noexcept {
  void* p = __libc_memalign(alignment, size);
  count_in(p);
  return p;
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
  return memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) noexcept {
  void* p = memalign(alignment, size);
  if (p == nullptr) return ENOMEM;
  *out = p;
  return 0;
}
}

namespace {

std::size_t resident_bytes() {
  std::ifstream statm("/proc/self/statm");
  std::size_t pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

std::size_t max_resident_bytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

double mb(std::size_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  std::size_t megabytes = 10;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else {
      megabytes = std::strtoul(argv[i], nullptr, 10);
    }
  }
  using pelmo::Variant;
  auto memory = std::make_shared<pelmo::testing::MemoryPlatform>();
  const std::u16string url = u"http://listing.example/big";
  std::size_t page_bytes = 0;
  {
    const std::string body =
        pelmo::bench::gb2312(pelmo::bench::listing_page(megabytes * pelmo::bench::kMiB));
    page_bytes = body.size();
    memory->serve(url, pelmo::Bytes(body.begin(), body.end()));
    const std::string small = pelmo::bench::gb2312(pelmo::bench::listing_page(4096));
    memory->serve(u"http://listing.example/small", pelmo::Bytes(small.begin(), small.end()));
  }
  auto obj = pelmo::create_object("pelmo.zaverer", memory);
  obj->OnStartPage(pelmo::host::make_local_page());
  Variant city = pelmo::text(u"bj"), cate = pelmo::text(u"4"), page = Variant::integer(1);
  {
    // One call on a small page first, so that one-time set-up (converter tables, JIT) is
    // not counted against the large page.
    Variant small = pelmo::text(u"http://listing.example/small"), result;
    obj->D1616_Tuan_Smain(small, city, cate, page, result);
  }

  // Hand freed set-up memory back and restart the kernel's high-water mark, so that ru_maxrss
  // after the call is the call's own peak (Linux: "5" to clear_refs resets it).
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";

  Variant address = pelmo::text(url), result;
  const std::size_t live_before = g_live.load();
  g_peak.store(live_before);
  const std::size_t rss_before = resident_bytes();
  const std::size_t maxrss_before = max_resident_bytes();
  obj->D1616_Tuan_Smain(address, city, cate, page, result);
  const std::size_t heap_peak = g_peak.load() - live_before;
  const std::size_t maxrss_after = max_resident_bytes();
  const std::size_t rss_peak = maxrss_after > rss_before ? maxrss_after - rss_before : 0;
  const std::size_t result_units = result.as_string().size();

  const double heap_ratio = static_cast<double>(heap_peak) / static_cast<double>(page_bytes);
  const double rss_ratio = static_cast<double>(rss_peak) / static_cast<double>(page_bytes);
  if (json) {
    std::printf(
        "{\"page_bytes\": %zu, \"heap_peak_bytes\": %zu, \"heap_ratio\": %.2f, "
        "\"rss_peak_bytes\": %zu, \"rss_ratio\": %.2f, \"maxrss_grew\": %s, "
        "\"result_units\": %zu}\n",
        page_bytes, heap_peak, heap_ratio, rss_peak, rss_ratio,
        maxrss_after > maxrss_before ? "true" : "false", result_units);
  } else {
    std::printf("page: %.2f MB of GB2312\n", mb(page_bytes));
    std::printf("heap peak during the call (counting allocator): %.2f MB = %.2f x the page\n",
                mb(heap_peak), heap_ratio);
    std::printf("resident peak above the resident size before (ru_maxrss): %.2f MB = %.2f x%s\n",
                mb(rss_peak), rss_ratio,
                maxrss_after > maxrss_before ? "" : " (did not pass the earlier peak)");
  }
  return 0;
}
