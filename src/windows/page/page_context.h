// A page of COM objects for callers of pelmo.zaverer outside a web server (pelmo.exe and the
// test host): a ScriptingContext with a Request, a Server and three inert objects, as the web
// server hands them to OnStartPage, plus the stand-in stream its Server gives out where the
// system's own stream does not work (Wine's fails at every member).
#pragma once

#include <oaidl.h>

#include <memory>
#include <string>
#include <vector>

namespace pelmo::page {

struct PageSettings {
  std::wstring request_method = L"GET";
  // A property of the context that fails with this HRESULT ("" for none).
  std::wstring failing_member;
  HRESULT failure = S_OK;
  // Hand out the system's ADODB.Stream from Server.CreateObject (else the stand-in).
  bool system_stream = false;
};

// What the page saw (the test host looks; pelmo.exe does not): property reads of the context in
// order, and every call on each stream the Server created ("Type=1", "Open",
// "Write(VT_ARRAY|VT_UI1:4)", ...).
struct PageLog {
  std::vector<std::wstring> context_reads;
  std::vector<std::wstring> stream_calls;
};

// A new context (one reference for the caller).
IDispatch* make_page(const PageSettings& settings, std::shared_ptr<PageLog> log);

// An object whose default member gives the text, as the web server's collection items do.
IDispatch* make_text_object(const std::wstring& text);

// The stand-in for "adodb.stream": binary writes of byte arrays, text reads in GB2312 (code
// page 936) or UTF-8, the stream's own errors (3001 wrong argument, 3219 not allowed).
IDispatch* make_standin_stream(std::shared_ptr<PageLog> log);

// Whether the system's ADODB.Stream can be created and opened in this apartment.
bool system_stream_opens();

}  // namespace pelmo::page
