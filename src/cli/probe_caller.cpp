#include "cli/probe_caller.h"

#include <new>
#include <optional>

#include "pelmo/error.h"

namespace pelmo::cli {

namespace {

class LibraryCaller final : public ProbeCaller {
 public:
  LibraryCaller() {
    // When the object cannot be set up, every check reports that failure, as a batch would.
    try {
      object_ = open_object(options_);
    } catch (const AutomationError& e) {
      setup_failure_ = e;
    } catch (const std::bad_alloc&) {
      setup_failure_ = AutomationError(err::kOutOfMemory, "Out of memory");
    }
  }
  ~LibraryCaller() override {
    if (object_) close_object(*object_, options_);
  }
  LibraryCaller(const LibraryCaller&) = delete;
  LibraryCaller& operator=(const LibraryCaller&) = delete;

  CallAnswer call(MethodCall call) override {
    CallAnswer answer;
    answer.number = err::kUnexpected;
    try {
      if (setup_failure_) throw *setup_failure_;
      answer.result = invoke_method(*object_, *call.method, call.args);
      answer.ok = true;
      answer.number = 0;
    } catch (const AutomationError& e) {
      answer.number = e.number();
      answer.description = e.description();
    } catch (const std::bad_alloc&) {
      answer.number = err::kOutOfMemory;
      answer.description = "Out of memory";
    } catch (const std::exception& e) {
      answer.description = e.what();
    }
    answer.args = std::move(call.args);
    return answer;
  }

 private:
  PageOptions options_;
  std::shared_ptr<_zaverer> object_;
  std::optional<AutomationError> setup_failure_;
};

}  // namespace

std::unique_ptr<ProbeCaller> make_library_caller() { return std::make_unique<LibraryCaller>(); }

}  // namespace pelmo::cli
