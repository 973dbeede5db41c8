// A synchronous HTTP client driven as the component drives it: Open, Send, ResponseBody.
#pragma once

#include <string>

#include "pelmo/variant.h"

namespace pelmo::host {

class HttpClient {
 public:
  virtual ~HttpClient() = default;
  virtual void Open(const std::u16string& method, const std::u16string& url, bool async) = 0;
  // Returns when the whole response has arrived; transport failures throw AutomationError.
  virtual void Send() = 0;
  // The final HTTP status of the response (after redirects).
  virtual int Status() = 0;
  // The body bytes, whatever the status.
  virtual Bytes ResponseBody() = 0;
  // The body handed over for good, for a caller that reads it once and drops the client; a
  // client that keeps the bytes anyway may copy them.
  virtual Bytes TakeResponseBody() { return ResponseBody(); }
};

}  // namespace pelmo::host
