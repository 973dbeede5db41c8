#include "fetch/fetch.h"
#include "pelmo/convert.h"
#include "pelmo/error.h"

namespace pelmo::fetch {

Variant decode_with_stream(host::ServerObject* server, const Variant& body,
                           const Variant& charset) {
  if (!server) throw AutomationError(91, "Object variable not set: no Server object");
  std::unique_ptr<host::Stream> stream = server->CreateObject(u"adodb.stream");
  if (!stream) throw AutomationError(429, "ActiveX component can't create object: adodb.stream");
  stream->SetType(host::Stream::kTypeBinary);
  stream->SetMode(host::Stream::kModeReadWrite);
  stream->Open();
  stream->Write(body);
  stream->SetPosition(0);
  stream->SetType(host::Stream::kTypeText);
  stream->SetCharset(to_text(charset));
  Variant text = Variant::string(stream->ReadText());
  stream->Close();
  return text;
}

}  // namespace pelmo::fetch
