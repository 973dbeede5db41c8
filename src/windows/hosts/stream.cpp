#include "windows/hosts/stream.h"

#include <limits>

#include "pelmo/error.h"
#include "windows/base/dispatch.h"

namespace pelmo::host::windows {

namespace {

class DispatchStream final : public Stream {
 public:
  DispatchStream(ComRef<IDispatch> object, std::u16string what)
      : stream_(std::move(object), std::move(what)) {}

  void SetType(int type) override { stream_.put(L"Type", long_arg(type)); }
  void SetMode(int mode) override { stream_.put(L"Mode", long_arg(mode)); }
  void Open() override { stream_.call(L"Open"); }

  void Write(const Variant& data) override {
    OwnedVariant value;
    com::to_variant(data, value.get());
    stream_.call(L"Write", {value.get()});
  }

  void SetPosition(std::int64_t position) override {
    if (position < 0 || position > std::numeric_limits<std::int32_t>::max()) {
      throw_invalid_call("stream position out of range");
    }
    stream_.put(L"Position", long_arg(static_cast<std::int32_t>(position)));
  }

  void SetCharset(const std::u16string& name) override {
    OwnedBstr value(name);
    stream_.put(L"Charset", bstr_arg(value.get()));
  }

  std::u16string ReadText() override {
    OwnedVariant text = stream_.call(L"ReadText");
    const Variant value = com::from_variant(text.get());
    if (value.is_empty()) return {};
    if (!value.is_string()) throw_type_mismatch();
    return value.as_string();
  }

  void Close() override { stream_.call(L"Close"); }

 private:
  DispatchObject stream_;
};

}  // namespace

std::unique_ptr<Stream> make_dispatch_stream(ComRef<IDispatch> object, std::u16string what) {
  return std::make_unique<DispatchStream>(std::move(object), std::move(what));
}

}  // namespace pelmo::host::windows
