// The web server's page objects as the component sees them.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "pelmo/stream.h"
#include "pelmo/variant.h"

namespace pelmo::host {

// Application, Response and Session are held for the life of a page but never used.
class PageObject {
 public:
  virtual ~PageObject() = default;
};

class RequestObject : public PageObject {
 public:
  // One item of the ServerVariables collection; Empty when the variable is absent.
  virtual Variant ServerVariables(std::u16string_view name) = 0;
};

class ServerObject : public PageObject {
 public:
  // Creates an automation object by ProgID; this component asks only for "adodb.stream".
  // An unknown ProgID fails with an AutomationError.
  virtual std::unique_ptr<Stream> CreateObject(std::u16string_view progid) = 0;
};

// Each property read either gives the page's object or fails with an AutomationError.
class ScriptingContext {
 public:
  virtual ~ScriptingContext() = default;
  virtual std::shared_ptr<PageObject> Application() = 0;
  virtual std::shared_ptr<RequestObject> Request() = 0;
  virtual std::shared_ptr<PageObject> Response() = 0;
  virtual std::shared_ptr<ServerObject> Server() = 0;
  virtual std::shared_ptr<PageObject> Session() = 0;
};

}  // namespace pelmo::host
