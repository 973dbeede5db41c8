// The benchmark's jobs: each calls one method (or, for the scrapers, one page's calls) through
// the object, on a generated input. peer.py has a job of the same name for each.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pelmo/variant.h"

namespace pelmo::bench {

struct Job {
  std::string name;
  std::size_t bytes = 0;        // input bytes one run processes (GB2312 size for texts)
  std::string input_digest;     // crc32 of the input as peer.py sees it
  std::function<void()> reset;  // restores a written-back argument; run outside the timing
  std::function<Variant()> run;
};

// One text for a result: the string itself, or the elements of an array joined by "\n".
std::string result_text_utf8(const Variant& result);

class JobSet {
 public:
  JobSet();  // starts the loopback server; it stops with the set
  ~JobSet();
  JobSet(const JobSet&) = delete;
  JobSet& operator=(const JobSet&) = delete;

  const std::vector<Job>& jobs() const { return jobs_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::vector<Job> jobs_;
};

}  // namespace pelmo::bench
