// Calls by name through the registered class, as the web server's script engine makes them.
#include <objbase.h>

#include <memory>
#include <string>
#include <vector>

#include "calling.h"
#include "modes.h"
#include "pelmo/text.h"
#include "pelmo_h.h"
#include "windows/base/identity_guids.h"
#include "windows/page/page_context.h"
#include "windows/page/script_object.h"

namespace pelmo::testhost {

using page::make_page;
using page::make_text_object;
using page::PageLog;
using page::PageSettings;
using page::ScriptObject;

namespace {

constexpr HRESULT kScriptFacility = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, 0);

void set_text(VARIANT& v, std::u16string_view s) {
  VariantClear(&v);
  V_VT(&v) = VT_BSTR;
  V_BSTR(&v) = com::make_bstr(s);
}

void set_bytes(VARIANT& v, const std::vector<std::uint8_t>& bytes) {
  VariantClear(&v);
  com::to_variant(Variant::bytes(bytes), v);
}

std::u16string text_of(const VARIANT& v) {
  if (V_VT(&v) != VT_BSTR || V_BSTR(&v) == nullptr) return u"(not a string)";
  return com::from_wide(std::wstring_view(V_BSTR(&v), SysStringLen(V_BSTR(&v))));
}

std::string raw_bytes(BSTR b) {
  return b == nullptr ? std::string()
                      : std::string(reinterpret_cast<const char*>(b), SysStringByteLen(b));
}

void check_dispatch(Checks& checks, IDispatch* object) {
  UINT count = 0;
  object->GetTypeInfoCount(&count);
  checks.check(count == 1, "GetTypeInfoCount 1");
  DISPID lower = DISPID_UNKNOWN, upper = DISPID_UNKNOWN, unknown = 0;
  wchar_t lower_name[] = L"str4null";
  wchar_t upper_name[] = L"STR4NULL";
  wchar_t unknown_name[] = L"NoSuchMethod";
  LPOLESTR names[] = {lower_name, upper_name, unknown_name};
  object->GetIDsOfNames(IID_NULL, &names[0], 1, LOCALE_USER_DEFAULT, &lower);
  object->GetIDsOfNames(IID_NULL, &names[1], 1, LOCALE_USER_DEFAULT, &upper);
  checks.check(lower == upper && lower != DISPID_UNKNOWN, "names match without regard to case");
  checks.check(object->GetIDsOfNames(IID_NULL, &names[2], 1, LOCALE_USER_DEFAULT, &unknown) ==
                   DISP_E_UNKNOWNNAME,
               "an unknown name is refused");

  Variables none(0);
  OwnedVariant result;
  Outcome wrong_count = invoke(object, L"Rm", none, result.get());
  checks.check(wrong_count.hr == DISP_E_BADPARAMCOUNT, "a wrong argument count is refused");
}

void check_conversions(Checks& checks, IDispatch* object) {
  // Omitted optional arguments arrive as VT_ERROR and read as Empty.
  Variables given(10), omitted(10);
  for (std::size_t i = 0; i < 10; ++i) {
    if (i < 5) {
      V_VT(&given[i]) = VT_I4;
      V_I4(&given[i]) = static_cast<LONG>(i + 1);
      VariantCopy(&omitted[i], &given[i]);
    } else {
      V_VT(&omitted[i]) = VT_ERROR;
      V_ERROR(&omitted[i]) = DISP_E_PARAMNOTFOUND;
    }
  }
  OwnedVariant with_empty, with_omitted;
  Outcome a = invoke(object, L"D1616_m", given, with_empty.get());
  Outcome b = invoke(object, L"D1616_m", omitted, with_omitted.get());
  checks.check(a.hr == S_OK && b.hr == S_OK &&
                   VarCmp(&with_empty.get(), &with_omitted.get(), LOCALE_USER_DEFAULT, 0) ==
                       static_cast<HRESULT>(VARCMP_EQ),
               "VT_ERROR (omitted) reads as Empty");

  // Typed by-reference variables from compiled clients take the write-back in their own type.
  OwnedVariant result;
  BSTR text = SysAllocString(L" 12.7 ");
  short number = 5;
  VARIANT direct[1];
  VariantInit(&direct[0]);
  V_VT(&direct[0]) = VT_BYREF | VT_BSTR;
  V_BSTRREF(&direct[0]) = &text;
  DISPID bint = 0;
  wchar_t bint_name[] = L"Bint";
  LPOLESTR bint_names[] = {bint_name};
  object->GetIDsOfNames(IID_NULL, bint_names, 1, LOCALE_USER_DEFAULT, &bint);
  DISPPARAMS params = {direct, nullptr, 1, 0};
  VariantClear(&result.get());
  HRESULT hr = object->Invoke(bint, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                              &result.get(), nullptr, nullptr);
  checks.check(hr == S_OK && V_VT(&result.get()) == VT_R8 && V_R8(&result.get()) == 13.0 &&
                   std::wstring(text) == L"12.7",
               "Bint writes the trimmed text back into a VT_BYREF|VT_BSTR variable");
  V_VT(&direct[0]) = VT_BYREF | VT_I2;
  V_I2REF(&direct[0]) = &number;
  VariantClear(&result.get());
  hr = object->Invoke(bint, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result.get(),
                      nullptr, nullptr);
  checks.check(
      hr == S_OK && number == 5 && V_VT(&result.get()) == VT_R8 && V_R8(&result.get()) == 5.0,
      "Bint on a VT_BYREF|VT_I2 variable keeps its type and value");
  SysFreeString(text);

  // A byte string: a BSTR of odd byte length keeps its last byte both ways.
  Variables odd(1);
  V_VT(&odd[0]) = VT_BSTR;
  V_BSTR(&odd[0]) = SysAllocStringByteLen("\xC4\xE3\x41", 3);
  Outcome d = invoke(object, L"Tarvessa_BytesToBstr_new", odd, result.get());
  checks.check(d.hr == S_OK && text_of(result.get()) == u"\u4F60A",
               "pairs decoded from an odd-length BSTR");
  checks.check(V_VT(&odd[0]) == VT_BSTR && raw_bytes(V_BSTR(&odd[0])) == "\xC4\xE3\x41",
               "the byte string written back keeps its odd byte");

  Variables bytes(1);
  set_bytes(bytes[0], {0xC4, 0xE3, 0x41});
  Outcome e = invoke(object, L"Tarvessa_BytesToBstr_new", bytes, result.get());
  checks.check(e.hr == S_OK && text_of(result.get()) == u"\u4F60A" && V_VT(&bytes[0]) == VT_BSTR &&
                   raw_bytes(V_BSTR(&bytes[0])) == "\xC4\xE3\x41",
               "a VT_ARRAY|VT_UI1 argument becomes the byte string in the caller's variable");

  // Arrays of variants come back as VT_ARRAY|VT_VARIANT from 0.
  Variables query(1);
  set_text(query[0], u"3");
  Outcome f = invoke(object, L"Bq_x", query, result.get());
  LONG lower = -1, upper = -1;
  if (V_VT(&result.get()) == (VT_ARRAY | VT_VARIANT)) {
    SafeArrayGetLBound(V_ARRAY(&result.get()), 1, &lower);
    SafeArrayGetUBound(V_ARRAY(&result.get()), 1, &upper);
  }
  checks.check(f.hr == S_OK && lower == 0 && upper == 1, "Bq_x gives a two-element array from 0");

  // An object passed where text is read gives its default value.
  Variables object_arg(1);
  V_VT(&object_arg[0]) = VT_DISPATCH;
  V_DISPATCH(&object_arg[0]) = make_text_object(L" a  b ");
  Outcome h = invoke(object, L"Str4Null", object_arg, result.get());
  checks.check(h.hr == S_OK && text_of(result.get()) == u"a b",
               "an object argument reads as its default value");

  // A variant array as an argument (typed element arrays too) reads element by element.
  Variables list(1);
  SAFEARRAY* sa = SafeArrayCreateVector(VT_BSTR, 0, 1);
  LONG index = 0;
  BSTR element = SysAllocString(L"x");
  SafeArrayPutElement(sa, &index, element);
  SysFreeString(element);
  V_VT(&list[0]) = VT_ARRAY | VT_BSTR;
  V_ARRAY(&list[0]) = sa;
  Outcome g = invoke(object, L"Str4Null", list, result.get());
  checks.check(g.hr == DISP_E_EXCEPTION && g.number == 13, "an array read as text: type mismatch");
}

void check_failures(Checks& checks, IDispatch* object) {
  Variables null_arg(1);
  V_VT(&null_arg[0]) = VT_NULL;
  OwnedVariant result;
  Outcome a = invoke(object, L"Emailis", null_arg, result.get());
  checks.check(a.hr == DISP_E_EXCEPTION && a.number == 94 &&
                   a.description == u"Invalid use of Null" && a.source == u"pelmo.zaverer" &&
                   V_VT(&result.get()) == VT_EMPTY,
               "Null read as text: exception 94 from pelmo.zaverer, result Empty");

  // Through the virtual table the failure is the HRESULT and the thread's error object.
  ComRef<::_zaverer> typed;
  object->QueryInterface(com::kIid, reinterpret_cast<void**>(typed.put()));
  VARIANT email;
  VariantInit(&email);
  V_VT(&email) = VT_NULL;
  VARIANT out;
  VariantInit(&out);
  const HRESULT hr = typed->Emailis(&email, &out);
  ComRef<IErrorInfo> info;
  BSTR description = nullptr;
  if (GetErrorInfo(0, info.put()) == S_OK) info->GetDescription(&description);
  checks.check(hr == (kScriptFacility | 94) && description != nullptr &&
                   std::wstring(description) == L"Invalid use of Null",
               "virtual-table call: HRESULT 0x800A005E and the error object");
  SysFreeString(description);
  ComRef<ISupportErrorInfo> supports;
  object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(supports.put()));
  checks.check(supports && supports->InterfaceSupportsErrorInfo(com::kIid) == S_OK,
               "ISupportErrorInfo for _zaverer");
}

struct Page {
  std::shared_ptr<PageLog> log = std::make_shared<PageLog>();
  ComRef<IDispatch> context;
  explicit Page(const PageSettings& settings)
      : context(ComRef<IDispatch>::adopt(make_page(settings, log))) {}
};

Outcome start_page(IDispatch* object, IDispatch* context) {
  Variables vars(1);
  V_VT(&vars[0]) = VT_DISPATCH;
  V_DISPATCH(&vars[0]) = context;
  context->AddRef();
  OwnedVariant none;
  return invoke(object, L"OnStartPage", vars, none.get(), true);
}

Outcome end_page(IDispatch* object) {
  Variables vars(0);
  OwnedVariant none;
  return invoke(object, L"OnEndPage", vars, none.get());
}

Outcome is_post(IDispatch* object, VARIANT& result) {
  Variables vars(0);
  return invoke(object, L"isPb", vars, result);
}

void check_page_hooks(Checks& checks) {
  const long before = ScriptObject::live();
  ComRef<IDispatch> object = create_zaverer();
  OwnedVariant result;
  Outcome early = is_post(object.get(), result.get());
  checks.check(early.number == 91, "isPb before OnStartPage: 91, no Request object");

  long one_page = 0;
  {
    PageSettings post;
    post.request_method = L"POST";
    Page page(post);
    Outcome started = start_page(object.get(), page.context.get());
    checks.check(started.hr == S_OK, "OnStartPage with the test host's context");
    const std::vector<std::wstring> order = {L"Application", L"Request", L"Response", L"Server",
                                             L"Session"};
    checks.check(page.log->context_reads == order,
                 "the context is read in the order Application, Request, Response, Server, "
                 "Session");
    Outcome posted = is_post(object.get(), result.get());
    checks.check(posted.hr == S_OK && V_VT(&result.get()) == VT_BOOL &&
                     V_BOOL(&result.get()) == VARIANT_TRUE,
                 "isPb True for POST (ServerVariables item through its default value)");
    one_page = ScriptObject::live() - before;
  }
  checks.check(ScriptObject::live() - before == one_page && one_page > 0,
               "the object holds the page's objects while the page lasts");
  {
    Page page{PageSettings{}};
    start_page(object.get(), page.context.get());
    Outcome got = is_post(object.get(), result.get());
    checks.check(got.hr == S_OK && V_BOOL(&result.get()) == VARIANT_FALSE,
                 "a second OnStartPage replaces the page: isPb False for GET");
  }
  checks.check(ScriptObject::live() - before == one_page,
               "the first page's objects are released when the second replaces them");
  checks.check(end_page(object.get()).hr == S_OK && ScriptObject::live() == before,
               "OnEndPage releases every page object");
  checks.check(is_post(object.get(), result.get()).number == 91,
               "after OnEndPage the Request object is gone");

  {
    PageSettings failing;
    failing.failing_member = L"Server";
    failing.failure = E_ACCESSDENIED;
    Page page(failing);
    Outcome started = start_page(object.get(), page.context.get());
    checks.check(started.hr == DISP_E_EXCEPTION &&
                     started.number == static_cast<std::int32_t>(E_ACCESSDENIED),
                 "a failing context property fails OnStartPage with its own HRESULT");
    checks.check(page.log->context_reads.size() == 4, "OnStartPage stops at the failing step");
    checks.check(is_post(object.get(), result.get()).hr == S_OK,
                 "what was stored before the failing step stays (Request)");
  }
  Variables nothing(1);
  V_VT(&nothing[0]) = VT_UNKNOWN;
  V_UNKNOWN(&nothing[0]) = nullptr;
  OwnedVariant none;
  Outcome null_context = invoke(object.get(), L"OnStartPage", nothing, none.get(), true);
  checks.check(null_context.number == static_cast<std::int32_t>(E_NOINTERFACE),
               "OnStartPage without a context fails with E_NOINTERFACE");
  object.reset();
  checks.check(ScriptObject::live() == before,
               "releasing the object without OnEndPage releases what it held");
}

void check_stream_road(Checks& checks) {
  const std::vector<std::uint8_t> gb2312 = {0xC4, 0xE3, 0xBA, 0xC3};  // 你好
  ComRef<IDispatch> object = create_zaverer();
  OwnedVariant result;

  {
    PageSettings system;
    system.system_stream = true;
    Page page(system);
    start_page(object.get(), page.context.get());
    Variables vars(2);
    set_bytes(vars[0], gb2312);
    set_text(vars[1], u"GB2312");
    Outcome got = invoke(object.get(), L"Tarvessa_BytesToBstr", vars, result.get());
    if (got.hr == S_OK) {
      checks.check(text_of(result.get()) == u"\u4F60\u597D",
                   "Tarvessa_BytesToBstr through the system's ADODB.Stream");
    } else {
      checks.skip("Tarvessa_BytesToBstr through the system's ADODB.Stream",
                  "the system stream failed with " + std::to_string(got.number) + " (" +
                      utf8(got.description) + "); the stand-in stream takes its place below");
    }
    end_page(object.get());
  }

  Page page{PageSettings{}};
  start_page(object.get(), page.context.get());
  Variables vars(2);
  set_bytes(vars[0], gb2312);
  set_text(vars[1], u"GB2312");
  Outcome got = invoke(object.get(), L"Tarvessa_BytesToBstr", vars, result.get());
  checks.check(got.hr == S_OK && text_of(result.get()) == u"\u4F60\u597D",
               "Tarvessa_BytesToBstr with the page's stream");
  const std::vector<std::wstring> expected = {
      L"Type=1",         L"Mode=3",   L"Open", L"Write(vt=8209,bytes=4)", L"Position=0", L"Type=2",
      L"Charset=GB2312", L"ReadText", L"Close"};
  checks.check(page.log->stream_calls == expected,
               "the stream is driven by name: Type 1, Mode 3, Open, Write, Position 0, Type 2, "
               "Charset, ReadText, Close");

  set_text(vars[0], u"not bytes");
  set_text(vars[1], u"UTF-8");
  Outcome refused = invoke(object.get(), L"Tarvessa_BytesToBstr", vars, result.get());
  checks.check(refused.number == 3001 && V_VT(&result.get()) == VT_EMPTY,
               "the stream's own error (3001) reaches the caller, result Empty");
  end_page(object.get());
}

}  // namespace

void check_calls(Checks& checks) {
  ComRef<IDispatch> object = create_zaverer();
  if (!checks.check(static_cast<bool>(object), "CreateObject(\"pelmo.zaverer\")")) return;
  check_dispatch(checks, object.get());
  check_conversions(checks, object.get());
  check_failures(checks, object.get());
  check_boundary(checks, object.get());
  object.reset();
  check_page_hooks(checks);
  check_stream_road(checks);
}

}  // namespace pelmo::testhost
