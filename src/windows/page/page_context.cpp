#include "windows/page/page_context.h"

#include <cwchar>
#include <string>

#include "windows/page/script_object.h"

namespace pelmo::page {

namespace {

HRESULT script_error(int number) {
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, static_cast<unsigned>(number));
}

const VARIANT* deref(const VARIANT* v) {
  while (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
  return v;
}

std::wstring text_of(const VARIANT* v) {
  v = deref(v);
  if (V_VT(v) == VT_BSTR) return std::wstring(V_BSTR(v), SysStringLen(V_BSTR(v)));
  if (V_VT(v) == (VT_BSTR | VT_BYREF))
    return std::wstring(*V_BSTRREF(v), SysStringLen(*V_BSTRREF(v)));
  VARIANT converted;
  VariantInit(&converted);
  std::wstring out;
  if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(v), 0, VT_BSTR))) {
    out.assign(V_BSTR(&converted), SysStringLen(V_BSTR(&converted)));
  }
  VariantClear(&converted);
  return out;
}

long number_of(const VARIANT* v) {
  VARIANT converted;
  VariantInit(&converted);
  long out = -1;
  if (SUCCEEDED(VariantChangeType(&converted, const_cast<VARIANT*>(deref(v)), 0, VT_I4))) {
    out = V_I4(&converted);
  }
  return out;
}

void give_object(VARIANT* result, IDispatch* object) {
  if (result == nullptr) return;
  object->AddRef();
  V_VT(result) = VT_DISPATCH;
  V_DISPATCH(result) = object;
}

bool is_put(WORD flags) { return (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0; }

class InertObject final : public ScriptObject {
 public:
  InertObject() : ScriptObject({}) {}

 protected:
  HRESULT call(DISPID, WORD, const std::vector<VARIANT*>&, VARIANT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
};

// The web server's item of a collection: a list object whose default value is the text.
class StringList final : public ScriptObject {
 public:
  explicit StringList(std::wstring value)
      : ScriptObject({L"Item", L"Count"}), value_(std::move(value)) {}

 protected:
  HRESULT call(DISPID id, WORD, const std::vector<VARIANT*>&, VARIANT* result) override {
    if (result == nullptr) return S_OK;
    if (id == 2) {
      V_VT(result) = VT_I4;
      V_I4(result) = 1;
    } else {
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = SysAllocStringLen(value_.data(), static_cast<UINT>(value_.size()));
    }
    return S_OK;
  }

 private:
  std::wstring value_;
};

class ServerVariables final : public ScriptObject {
 public:
  explicit ServerVariables(std::wstring method)
      : ScriptObject({L"Item"}), method_(std::move(method)) {}

 protected:
  HRESULT call(DISPID, WORD, const std::vector<VARIANT*>& args, VARIANT* result) override {
    if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
    if (_wcsicmp(text_of(args[0]).c_str(), L"REQUEST_METHOD") == 0 && result != nullptr) {
      IDispatch* item = new StringList(method_);
      give_object(result, item);
      item->Release();
    }
    return S_OK;
  }

 private:
  std::wstring method_;
};

class Request final : public ScriptObject {
 public:
  explicit Request(std::wstring method)
      : ScriptObject({L"ServerVariables"}), method_(std::move(method)) {}

 protected:
  HRESULT call(DISPID id, WORD, const std::vector<VARIANT*>& args, VARIANT* result) override {
    if (id != 1 || !args.empty()) return DISP_E_BADPARAMCOUNT;
    IDispatch* variables = new ServerVariables(method_);
    give_object(result, variables);
    variables->Release();
    return S_OK;
  }

 private:
  std::wstring method_;
};

class Server final : public ScriptObject {
 public:
  Server(bool system_stream, std::shared_ptr<PageLog> log)
      : ScriptObject({L"CreateObject"}), system_stream_(system_stream), log_(std::move(log)) {}

 protected:
  HRESULT call(DISPID id, WORD, const std::vector<VARIANT*>& args, VARIANT* result) override {
    if (id != 1) return DISP_E_MEMBERNOTFOUND;
    if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
    const std::wstring progid = text_of(args[0]);
    if (_wcsicmp(progid.c_str(), L"adodb.stream") != 0) {
      return raise(current_exception_, script_error(429), L"ActiveX component can't create object");
    }
    IDispatch* stream = nullptr;
    if (system_stream_) {
      CLSID clsid{};
      HRESULT hr = CLSIDFromProgID(L"ADODB.Stream", &clsid);
      if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&stream));
      }
      if (FAILED(hr)) return raise(current_exception_, hr, L"ADODB.Stream cannot be created");
    } else {
      stream = make_standin_stream(log_);
    }
    give_object(result, stream);
    stream->Release();
    return S_OK;
  }

 private:
  bool system_stream_;
  std::shared_ptr<PageLog> log_;
};

class Context final : public ScriptObject {
 public:
  Context(const PageSettings& settings, std::shared_ptr<PageLog> log)
      : ScriptObject({L"Application", L"Request", L"Response", L"Server", L"Session"}),
        settings_(settings),
        log_(std::move(log)),
        objects_{new InertObject(), new Request(settings.request_method), new InertObject(),
                 new Server(settings.system_stream, log_), new InertObject()} {}

 protected:
  ~Context() override {
    for (IDispatch* object : objects_) object->Release();
  }

  HRESULT call(DISPID id, WORD, const std::vector<VARIANT*>&, VARIANT* result) override {
    if (id < 1 || id > 5) return DISP_E_MEMBERNOTFOUND;
    static const wchar_t* const kNames[] = {L"Application", L"Request", L"Response", L"Server",
                                            L"Session"};
    const wchar_t* name = kNames[id - 1];
    log_->context_reads.push_back(name);
    if (settings_.failing_member == name) {
      return raise(current_exception_, settings_.failure, L"The page object is not available");
    }
    give_object(result, objects_[id - 1]);
    return S_OK;
  }

 private:
  PageSettings settings_;
  std::shared_ptr<PageLog> log_;
  IDispatch* objects_[5];
};

class StandInStream final : public ScriptObject {
 public:
  explicit StandInStream(std::shared_ptr<PageLog> log)
      : ScriptObject(
            {L"Type", L"Mode", L"Open", L"Write", L"Position", L"Charset", L"ReadText", L"Close"}),
        log_(std::move(log)) {}

 protected:
  HRESULT call(DISPID id, WORD flags, const std::vector<VARIANT*>& args, VARIANT* result) override {
    switch (id) {
      case 1:
        return property(flags, args, result, L"Type", type_, [&](long v) {
          if (v != 1 && v != 2) return fail(3001);
          if (open_ && position_ != 0) return fail(3219);
          type_ = v;
          return S_OK;
        });
      case 2:
        return property(flags, args, result, L"Mode", mode_, [&](long v) {
          mode_ = v;
          return S_OK;
        });
      case 3:
        log_->stream_calls.push_back(L"Open");
        if (open_) return fail(3705);
        open_ = true;
        content_.clear();
        position_ = 0;
        return S_OK;
      case 4:
        return write(args);
      case 5:
        return property(flags, args, result, L"Position", position_, [&](long v) {
          if (!open_) return fail(3704);
          if (v < 0 || static_cast<std::size_t>(v) > content_.size()) return fail(3001);
          position_ = v;
          return S_OK;
        });
      case 6:
        if (!is_put(flags) || args.size() != 1) return DISP_E_BADPARAMCOUNT;
        charset_ = text_of(args[0]);
        log_->stream_calls.push_back(L"Charset=" + charset_);
        return S_OK;
      case 7:
        log_->stream_calls.push_back(L"ReadText");
        return read_text(result);
      case 8:
        log_->stream_calls.push_back(L"Close");
        if (!open_) return fail(3704);
        open_ = false;
        content_.clear();
        position_ = 0;
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  HRESULT fail(int number) {
    return raise(current_exception_, script_error(number), L"Stand-in stream refused the call");
  }

  template <typename Set>
  HRESULT property(WORD flags, const std::vector<VARIANT*>& args, VARIANT* result,
                   const wchar_t* name, long value, Set set) {
    if (is_put(flags)) {
      if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
      const long v = number_of(args[0]);
      log_->stream_calls.push_back(std::wstring(name) + L"=" + std::to_wstring(v));
      return set(v);
    }
    if (result != nullptr) {
      V_VT(result) = VT_I4;
      V_I4(result) = value;
    }
    return S_OK;
  }

  HRESULT write(const std::vector<VARIANT*>& args) {
    if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
    const VARIANT* data = deref(args[0]);
    const bool bytes = V_VT(data) == (VT_ARRAY | VT_UI1);
    std::wstring entry = L"Write(vt=" + std::to_wstring(V_VT(data));
    std::string raw;
    if (bytes) {
      SAFEARRAY* sa = V_ARRAY(data);
      LONG lower = 0, upper = -1;
      SafeArrayGetLBound(sa, 1, &lower);
      SafeArrayGetUBound(sa, 1, &upper);
      void* p = nullptr;
      if (upper >= lower && SUCCEEDED(SafeArrayAccessData(sa, &p))) {
        raw.assign(static_cast<const char*>(p), static_cast<std::size_t>(upper - lower + 1));
        SafeArrayUnaccessData(sa);
      }
      entry += L",bytes=" + std::to_wstring(raw.size());
    }
    log_->stream_calls.push_back(entry + L")");
    if (!open_) return fail(3704);
    if (type_ != 1) return fail(3219);
    if (!bytes) return fail(3001);
    content_.replace(static_cast<std::size_t>(position_), raw.size(), raw);
    position_ += static_cast<long>(raw.size());
    return S_OK;
  }

  HRESULT read_text(VARIANT* result) {
    if (!open_) return fail(3704);
    if (type_ != 2) return fail(3219);
    const std::string rest = content_.substr(static_cast<std::size_t>(position_));
    std::wstring text;
    if (_wcsicmp(charset_.c_str(), L"unicode") == 0) {
      text.assign(reinterpret_cast<const wchar_t*>(rest.data()), rest.size() / 2);
    } else {
      UINT code_page = 0;
      if (_wcsicmp(charset_.c_str(), L"gb2312") == 0 || _wcsicmp(charset_.c_str(), L"gbk") == 0) {
        code_page = 936;
      } else if (_wcsicmp(charset_.c_str(), L"utf-8") == 0) {
        code_page = CP_UTF8;
      } else {
        return fail(3001);
      }
      const int n =
          MultiByteToWideChar(code_page, 0, rest.data(), static_cast<int>(rest.size()), nullptr, 0);
      text.resize(static_cast<std::size_t>(n));
      MultiByteToWideChar(code_page, 0, rest.data(), static_cast<int>(rest.size()), text.data(), n);
    }
    position_ = static_cast<long>(content_.size());
    if (result != nullptr) {
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    return S_OK;
  }

  std::shared_ptr<PageLog> log_;
  long type_ = 1;
  long mode_ = 0;
  bool open_ = false;
  std::string content_;
  long position_ = 0;
  std::wstring charset_ = L"Unicode";
};

}  // namespace

IDispatch* make_page(const PageSettings& settings, std::shared_ptr<PageLog> log) {
  return new Context(settings, std::move(log));
}

IDispatch* make_text_object(const std::wstring& text) { return new StringList(text); }

IDispatch* make_standin_stream(std::shared_ptr<PageLog> log) {
  return new StandInStream(std::move(log));
}

bool system_stream_opens() {
  CLSID clsid{};
  if (FAILED(CLSIDFromProgID(L"ADODB.Stream", &clsid))) return false;
  IDispatch* raw = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&raw)))) {
    return false;
  }
  // Type = 1 (binary), Mode = 3 (read and write), Open, Close: the steps the component takes.
  bool works = true;
  const auto invoke = [&](const wchar_t* member, WORD flags, LONG value) {
    if (!works) return;
    DISPID id = DISPID_UNKNOWN;
    auto* name = const_cast<LPOLESTR>(member);
    if (FAILED(raw->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id))) {
      works = false;
      return;
    }
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = value;
    DISPID named = DISPID_PROPERTYPUT;
    const bool put = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params = {put ? &arg : nullptr, put ? &named : nullptr, put ? 1u : 0u,
                         put ? 1u : 0u};
    works = SUCCEEDED(
        raw->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, nullptr, nullptr, nullptr));
  };
  invoke(L"Type", DISPATCH_PROPERTYPUT, 1);
  invoke(L"Mode", DISPATCH_PROPERTYPUT, 3);
  invoke(L"Open", DISPATCH_METHOD, 0);
  invoke(L"Close", DISPATCH_METHOD, 0);
  raw->Release();
  return works;
}

}  // namespace pelmo::page
