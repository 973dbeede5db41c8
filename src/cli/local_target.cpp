#include "cli/local_target.h"

#include "pelmo/catalogue.h"
#include "pelmo/error.h"
#include "pelmo/identity.h"
#include "pelmo/local_page.h"
#include "pelmo/object.h"

namespace pelmo::cli {

namespace {

class LocalTarget final : public CallTarget {
 public:
  LocalTarget() : methods_(catalogue_shapes()) {}

  const std::vector<MethodShape>& methods() const override { return methods_; }

  void open(const PageOptions& options) override {
    object_ = create_object(identity::kProgId);
    with_page_ = options.with_page;
    if (!with_page_) return;
    try {
      object_->OnStartPage(host::make_local_page(options.request_method));
    } catch (const AutomationError&) {
      object_->OnEndPage();
      throw;
    }
  }

  Variant call(const MethodShape& method, std::vector<Variant>& args) override {
    std::vector<Variant*> refs;
    for (Variant& arg : args) refs.push_back(&arg);
    Variant result;
    find_method(method.name)->invoke(*object_, refs, result);
    return result;
  }

  void close() override {
    if (with_page_) object_->OnEndPage();
  }

 private:
  std::vector<MethodShape> methods_;
  std::shared_ptr<_zaverer> object_;
  bool with_page_ = false;
};

}  // namespace

std::unique_ptr<CallTarget> make_local_target() { return std::make_unique<LocalTarget>(); }

}  // namespace pelmo::cli
