// Counting checks for the test host: one line per check, failures counted for the exit code.
#pragma once

#include <iostream>
#include <string>

namespace pelmo::testhost {

class Checks {
 public:
  bool check(bool ok, const std::string& what) {
    std::cout << (ok ? "ok    " : "FAIL  ") << what << "\n";
    if (!ok) ++failures_;
    return ok;
  }
  void skip(const std::string& what, const std::string& why) {
    std::cout << "SKIP  " << what << ": " << why << "\n";
  }
  int failures() const { return failures_; }

 private:
  int failures_ = 0;
};

}  // namespace pelmo::testhost
