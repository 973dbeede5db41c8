#include "cli/probe_caller.h"

#include <new>
#include <optional>

#include "pelmo/error.h"

namespace pelmo::cli {

namespace {

// What a page sees when the object cannot be created at all.
constexpr std::int32_t kCannotCreateObject = 429;

class TargetCaller final : public ProbeCaller {
 public:
  explicit TargetCaller(const ConnectTarget& connect) {
    // When the object cannot be set up, every check reports that failure, as a batch would.
    try {
      target_ = connect();
      target_->open(options_);
      opened_ = true;
    } catch (const AutomationError& e) {
      setup_failure_ = e;
    } catch (const TargetError& e) {
      setup_failure_ = AutomationError(kCannotCreateObject, e.what());
    } catch (const std::bad_alloc&) {
      setup_failure_ = AutomationError(err::kOutOfMemory, "Out of memory");
    }
  }
  ~TargetCaller() override {
    if (!opened_) return;
    try {
      target_->close();
    } catch (...) {
      // The checks are answered by now; a page that ends badly changes none of them.
    }
  }
  TargetCaller(const TargetCaller&) = delete;
  TargetCaller& operator=(const TargetCaller&) = delete;

  CallAnswer call(MethodCall call) override {
    CallAnswer answer;
    answer.number = err::kUnexpected;
    try {
      if (setup_failure_) throw *setup_failure_;
      // The object's own description of the method, which the face calls it by.
      const MethodShape* method = find_shape(target_->methods(), call.method->name);
      if (method == nullptr) {
        throw AutomationError(err::kInvalidCall, "no such method: " + call.method->name);
      }
      answer.result = target_->call(*method, call.args);
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
  std::unique_ptr<CallTarget> target_;
  bool opened_ = false;
  std::optional<AutomationError> setup_failure_;
};

}  // namespace

std::unique_ptr<ProbeCaller> make_target_caller(const ConnectTarget& connect) {
  return std::make_unique<TargetCaller>(connect);
}

}  // namespace pelmo::cli
