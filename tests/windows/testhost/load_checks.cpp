// The module under load, as a web server keeps it: objects in several single-threaded
// apartments at once, and one process calling it for a long time.
#include <objbase.h>
#include <psapi.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "calling.h"
#include "case_table.h"
#include "cli/arg_words.h"
#include "modes.h"
#include "pelmo/catalogue.h"
#include "windows/page/page_context.h"

namespace pelmo::testhost {

namespace {

struct Tables {
  std::vector<Case> page_free;
  std::vector<Case> page;
  bool system_stream = false;
};

Tables load(const LoadSettings& settings) {
  Tables tables;
  tables.page_free = read_cases(settings.table);
  if (!settings.page_table.empty()) {
    tables.page = read_cases(settings.page_table);
    tables.system_stream = page::system_stream_opens();
  }
  return tables;
}

// Every case of both tables once, starting at `rotation` so that threads call different
// methods at the same moment; the lines come back in table order.
std::vector<std::string> run_all(const Tables& tables, std::size_t rotation) {
  const std::size_t n = tables.page_free.size() + tables.page.size();
  std::vector<std::string> lines(n);
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t i = (k + rotation) % n;
    const bool page = i >= tables.page_free.size();
    const Case& c = page ? tables.page[i - tables.page_free.size()] : tables.page_free[i];
    lines[i] = run_case(c, page, tables.system_stream);
  }
  return lines;
}

DWORD WINAPI run_worker(void* work) {
  (*static_cast<std::function<void()>*>(work))();
  return 0;
}

HRESULT can_unload_now() {
  HMODULE module = GetModuleHandleW(L"pelmo.dll");
  if (module == nullptr) return S_OK;  // unloaded already
  using CanUnload = HRESULT(STDAPICALLTYPE*)();
  auto can_unload = reinterpret_cast<CanUnload>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  return can_unload != nullptr ? can_unload() : E_FAIL;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Bytes in use in every heap of the process (malloc's, the system's strings and objects).
std::size_t heap_bytes_in_use() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  std::size_t total = 0;
  for (HANDLE heap : heaps) {
    if (!HeapLock(heap)) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heap, &entry)) {
      if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) total += entry.cbData;
    }
    HeapUnlock(heap);
  }
  return total;
}

// Open handles, counted by asking about every handle value up to a bound past the highest in
// use (handle values are multiples of 4 and reused lowest first).
DWORD handles_by_probing() {
  DWORD count = 0, flags = 0;
  for (std::uintptr_t value = 4; value < 0x4000; value += 4) {
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

struct Usage {
  std::size_t private_bytes = 0;
  DWORD handles = 0;
};

// The process's private bytes and handle count. Where the system reports none (Wine 8 gives 0
// for both), the bytes in use in the process heaps and the handles found by probing.
Usage usage_now(std::string* how = nullptr) {
  Usage usage;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(GetCurrentProcess(),
                           reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters)) {
    usage.private_bytes = counters.PrivateUsage;
  }
  GetProcessHandleCount(GetCurrentProcess(), &usage.handles);
  std::string measured = "private bytes from GetProcessMemoryInfo";
  if (usage.private_bytes == 0) {
    usage.private_bytes = heap_bytes_in_use();
    measured = "heap bytes in use (HeapWalk; GetProcessMemoryInfo gives no private bytes)";
  }
  if (usage.handles == 0) {
    usage.handles = handles_by_probing();
    measured += ", handles by probing (GetProcessHandleCount gives 0)";
  } else {
    measured += ", handles from GetProcessHandleCount";
  }
  if (how != nullptr) *how = measured;
  return usage;
}

// A page-free case made ready to call many times: its arguments parsed once.
struct Prepared {
  std::wstring method;
  std::vector<Variant> args;
  HRESULT first_hr = S_OK;
  std::int32_t first_number = 0;
};

Outcome call_prepared(IDispatch* object, const Prepared& p) {
  Variables vars(p.args.size());
  for (std::size_t i = 0; i < p.args.size(); ++i) com::to_variant(p.args[i], vars[i]);
  OwnedVariant result;
  return invoke(object, p.method, vars, result.get());
}

}  // namespace

void check_threads(Checks& checks, const LoadSettings& settings) {
  const Tables tables = load(settings);
  const std::vector<std::string> expected = run_all(tables, 0);
  const auto start = std::chrono::steady_clock::now();
  std::atomic<long> mismatches{0}, calls{0};
  std::string first_mismatch;
  std::atomic<bool> noted{false};
  std::vector<std::function<void()>> workers;
  for (int t = 0; t < settings.threads; ++t) {
    workers.emplace_back([&, t] {
      // Each thread its own single-threaded apartment, as the web server's workers are.
      if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        ++mismatches;
        return;
      }
      for (int round = 0; round < settings.rounds; ++round) {
        const std::vector<std::string> got =
            run_all(tables, static_cast<std::size_t>(t * 37 + round * 11));
        for (std::size_t i = 0; i < got.size(); ++i) {
          if (got[i] == expected[i]) continue;
          ++mismatches;
          if (!noted.exchange(true)) first_mismatch = got[i] + " instead of " + expected[i];
        }
        calls += static_cast<long>(got.size());
      }
      CoUninitialize();
    });
  }
  // The toolchain's C++ library has no std::thread here: system threads.
  std::vector<HANDLE> threads;
  for (std::function<void()>& work : workers) {
    threads.push_back(CreateThread(nullptr, 0, run_worker, &work, 0, nullptr));
  }
  for (HANDLE thread : threads) {
    if (thread == nullptr) {
      ++mismatches;
      continue;
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  std::cout << "threads: " << settings.threads << " apartments x " << settings.rounds
            << " rounds x " << expected.size() << " cases = " << calls.load() << " calls in "
            << seconds_since(start) << " s\n";
  checks.check(mismatches.load() == 0,
               "every answer from every apartment equals the single-threaded one" +
                   (first_mismatch.empty() ? std::string() : ": " + first_mismatch));
  checks.check(can_unload_now() == S_OK,
               "DllCanUnloadNow says yes once every apartment's objects are released");
}

void check_uptime(Checks& checks, const LoadSettings& settings) {
  const Tables tables = load(settings);
  std::vector<Prepared> prepared;
  for (const Case& c : tables.page_free) {
    const MethodEntry* entry = find_method(c.method);
    if (c.request_method != L"GET" || entry == nullptr || entry->is_page_hook()) continue;
    Prepared p{wide(entry->name), {}};
    for (const std::string& word : c.words) p.args.push_back(cli::parse_arg_word(word));
    prepared.push_back(std::move(p));
  }
  std::vector<const Case*> scrapes;
  for (const Case& c : tables.page) scrapes.push_back(&c);
  {
    ComRef<IDispatch> object = create_zaverer();
    for (Prepared& p : prepared) {
      const Outcome first = call_prepared(object.get(), p);
      p.first_hr = first.hr;
      p.first_number = first.number;
    }
  }
  constexpr long kObjectLife = 100;   // calls before the object is released and made anew
  constexpr long kScrapeEvery = 500;  // a page case against the loopback site: every one of
                                      // them has run twice by the end of the warm-up
  const long warm_up = settings.calls / 10;
  const auto start = std::chrono::steady_clock::now();
  long changed = 0;
  Usage at_warm_up{}, last{};
  std::string measured;
  ComRef<IDispatch> object;
  std::size_t next = 0, next_scrape = 0;
  for (long call = 1; call <= settings.calls; ++call) {
    if (call % kScrapeEvery == 0 && !scrapes.empty()) {
      const Case& c = *scrapes[next_scrape++ % scrapes.size()];
      run_case(c, true, tables.system_stream);
    } else {
      if (call % kObjectLife == 1) object = create_zaverer();
      const Prepared& p = prepared[next++ % prepared.size()];
      const Outcome got = call_prepared(object.get(), p);
      if (got.hr != p.first_hr || got.number != p.first_number) ++changed;
    }
    if (call == warm_up) at_warm_up = usage_now(&measured);
    if (call % (settings.calls / 5) == 0) {
      const Usage now = usage_now();
      std::cout << "uptime: call " << call << ": bytes " << now.private_bytes << ", handles "
                << now.handles << "\n"
                << std::flush;
    }
  }
  object.reset();
  last = usage_now();
  const auto growth =
      static_cast<long long>(last.private_bytes) - static_cast<long long>(at_warm_up.private_bytes);
  const long handle_growth =
      static_cast<long>(last.handles) - static_cast<long>(at_warm_up.handles);
  std::cout << "uptime: " << settings.calls << " calls (" << prepared.size()
            << " page-free cases, a page case every " << kScrapeEvery << ", a new object every "
            << kObjectLife << ") in " << seconds_since(start) << " s; from call " << warm_up
            << " to the last (" << measured << "): bytes " << at_warm_up.private_bytes << " -> "
            << last.private_bytes << " (" << growth << "), handles " << at_warm_up.handles << " -> "
            << last.handles << " (" << handle_growth << ")\n";
  checks.check(changed == 0, "every call answers as the first call of its case did");
  // Flat: what a leak of a few bytes a call would exceed over the calls after the warm-up.
  const long long allowed = 4LL * (settings.calls - warm_up);
  checks.check(growth <= allowed, "private bytes flat after the warm-up (growth " +
                                      std::to_string(growth) + " bytes, at most " +
                                      std::to_string(allowed) + ")");
  // The system may open a handle or two of its own late (Wine does, once, in the HTTP client);
  // a handle kept per page case would be hundreds.
  constexpr long kLateSystemHandles = 4;
  checks.check(handle_growth <= kLateSystemHandles,
               "handle count flat after the warm-up (growth " + std::to_string(handle_growth) +
                   ", at most " + std::to_string(kLateSystemHandles) + ")");
  checks.check(can_unload_now() == S_OK, "DllCanUnloadNow says yes after the last release");
}

}  // namespace pelmo::testhost
