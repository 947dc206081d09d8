#include "testbed/engine/resource_driver.h"

#include <atomic>
#include <cstdint>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "testbed/engine/browser.h"
#include "testbed/engine/devtools.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/refs.h"
#include "testbed/engine/slots.h"
#include "testbed/engine/strings.h"

namespace standin {
namespace {

// The engine reads a handler's body in pieces of this size.
constexpr int kReadSize = 64 * 1024;

// One request being driven. Owned by shared pointers: the steps queued on the IO thread
// and the callback cores the product may call later.
struct Drive {
  BrowserCore* browser = nullptr;
  unsigned long long request = 0;
  cef_resource_handler_t* handler = nullptr;  // the engine's reference, released at the end
  std::function<cef_request_t*()> wrap_request;
  RequestHeaders headers;
  std::function<void(std::shared_ptr<ResourceAnswer>)> done;
  std::shared_ptr<ResourceAnswer> answer = std::make_shared<ResourceAnswer>();
  long long range_first = -1;  // the first byte of a single Range, else -1
  std::vector<char> buffer = std::vector<char>(kReadSize);
  bool finished = false;  // IO thread only
};
using DrivePtr = std::shared_ptr<Drive>;

void Finish(const DrivePtr& d, bool failed, int error);
void DoSkip(const DrivePtr& d);
void DoHeaders(const DrivePtr& d);
void DoRead(const DrivePtr& d);

bool PageGone(const DrivePtr& d) {
  return d->browser->closed.load();
}

// Ends the request before its end when the page that asked is gone.
bool CancelIfGone(const DrivePtr& d) {
  if (!PageGone(d)) return false;
  const bool has = STANDIN_HAS_SLOT(d->handler, cef_resource_handler_t, cancel);
  Event("resource.cancel").Num("browser", d->browser->id).Unsigned("request", d->request).Num("present", has ? 1 : 0);
  if (has) d->handler->cancel(d->handler);
  d->answer->cancelled_by_engine = true;
  Finish(d, true, ERR_ABORTED);
  return true;
}

void Finish(const DrivePtr& d, bool failed, int error) {
  if (d->finished) return;
  d->finished = true;
  d->answer->failed = failed;
  d->answer->error = error;
  Event("resource.answered").Num("browser", d->browser->id).Unsigned("request", d->request)
      .Num("failed", failed ? 1 : 0).Num("error", error).Num("status", d->answer->status)
      .Num("bytes", static_cast<long long>(d->answer->body.size())).Num("reads", d->answer->reads)
      .Num("async_reads", d->answer->async_reads);
  ReleaseProductObject(&d->handler->base);
  d->handler = nullptr;
  if (d->done) d->done(d->answer);
}

// ---- Callback objects handed to the product ------------------------------------------
// Each wrapper's core lives as long as the wrapper (freed with it out of quarantine), so
// a late call on a released wrapper is journaled, not a crash.

struct StepCore {
  DrivePtr drive;
  const char* step;
  std::atomic<bool> fired{false};
};

StepCore* NewStep(const DrivePtr& d, const char* step) {
  StepCore* s = new StepCore();
  s->drive = d;
  s->step = step;
  return s;
}

template <class T>
T* WrapStep(StepCore* core, const char* origin, void (*fill)(T*)) {
  T* w = MakeWrapper<T>(core, "resource_callback", origin, fill);
  InfoOf(w)->free_core = [](void* c) { delete static_cast<StepCore*>(c); };
  return w;
}

// The first call of a callback continues the request on the IO thread; later ones are
// journaled as the product's fault.
bool FireOnce(StepCore* s, const char* what) {
  if (s->fired.exchange(true)) {
    Event("resource.callback_again").Unsigned("request", s->drive->request).Text("step", s->step).Text("call", what);
    return false;
  }
  return true;
}

void CEF_CALLBACK OpenCont(cef_callback_t* self) {
  if (!CheckAlive(self, "cont")) return;
  StepCore* s = CoreOf<StepCore>(self);
  if (!FireOnce(s, "cont")) return;
  DrivePtr d = s->drive;
  Event("resource.open_cont").Unsigned("request", d->request);
  PostIoWork([d] {
    if (!d->finished && !CancelIfGone(d)) DoSkip(d);
  });
}
void CEF_CALLBACK OpenCancel(cef_callback_t* self) {
  if (!CheckAlive(self, "cancel")) return;
  StepCore* s = CoreOf<StepCore>(self);
  if (!FireOnce(s, "cancel")) return;
  DrivePtr d = s->drive;
  Event("resource.open_cancel").Unsigned("request", d->request);
  PostIoWork([d] { Finish(d, true, ERR_ABORTED); });
}
void FillOpenCallback(cef_callback_t* c) {
  c->cont = OpenCont;
  c->cancel = OpenCancel;
}

void CEF_CALLBACK SkipCont(cef_resource_skip_callback_t* self, int64_t bytes_skipped) {
  if (!CheckAlive(self, "cont")) return;
  StepCore* s = CoreOf<StepCore>(self);
  if (!FireOnce(s, "cont")) return;
  DrivePtr d = s->drive;
  Event("resource.skip_cont").Unsigned("request", d->request).Num("skipped", bytes_skipped);
  PostIoWork([d, bytes_skipped] {
    if (d->finished || CancelIfGone(d)) return;
    if (bytes_skipped != d->range_first) {
      Finish(d, true, bytes_skipped < 0 ? static_cast<int>(bytes_skipped) : ERR_FAILED);
      return;
    }
    DoHeaders(d);
  });
}
void FillSkipCallback(cef_resource_skip_callback_t* c) { c->cont = SkipCont; }

void CEF_CALLBACK ReadCont(cef_resource_read_callback_t* self, int bytes_read) {
  if (!CheckAlive(self, "cont")) return;
  StepCore* s = CoreOf<StepCore>(self);
  if (!FireOnce(s, "cont")) return;
  DrivePtr d = s->drive;
  PostIoWork([d, bytes_read] {
    if (d->finished) return;
    Event("resource.read_cont").Unsigned("request", d->request).Num("bytes", bytes_read);
    if (bytes_read < 0) {
      Finish(d, true, bytes_read);
      return;
    }
    if (bytes_read > kReadSize) {
      Event("resource.read_overflow").Unsigned("request", d->request).Num("bytes", bytes_read);
      Finish(d, true, ERR_FAILED);
      return;
    }
    if (bytes_read == 0) {
      Finish(d, false, 0);
      return;
    }
    d->answer->body.append(d->buffer.data(), static_cast<std::size_t>(bytes_read));
    DoRead(d);
  });
}
void FillReadCallback(cef_resource_read_callback_t* c) { c->cont = ReadCont; }

// ---- The response the engine hands to get_response_headers ---------------------------

struct ResponseCore {
  std::mutex lock;
  int error = 0;
  int status = 0;
  std::u16string status_text, mime, charset;
  std::vector<std::pair<std::u16string, std::u16string>> headers;
};

ResponseCore* Resp(cef_response_t* self) { return CoreOf<ResponseCore>(self); }

int CEF_CALLBACK RespIsReadOnly(cef_response_t* self) {
  CheckAlive(self, "is_read_only");
  return 0;
}
cef_errorcode_t CEF_CALLBACK RespGetError(cef_response_t* self) {
  CheckAlive(self, "get_error");
  return static_cast<cef_errorcode_t>(Resp(self)->error);
}
void CEF_CALLBACK RespSetError(cef_response_t* self, cef_errorcode_t error) {
  if (CheckAlive(self, "set_error")) Resp(self)->error = error;
}
int CEF_CALLBACK RespGetStatus(cef_response_t* self) {
  CheckAlive(self, "get_status");
  return Resp(self)->status;
}
void CEF_CALLBACK RespSetStatus(cef_response_t* self, int status) {
  if (CheckAlive(self, "set_status")) Resp(self)->status = status;
}
cef_string_userfree_t CEF_CALLBACK RespGetStatusText(cef_response_t* self) {
  CheckAlive(self, "get_status_text");
  return NewUserfree(Resp(self)->status_text);
}
void CEF_CALLBACK RespSetStatusText(cef_response_t* self, const cef_string_t* text) {
  if (CheckAlive(self, "set_status_text")) Resp(self)->status_text = ToU16(text);
}
cef_string_userfree_t CEF_CALLBACK RespGetMime(cef_response_t* self) {
  CheckAlive(self, "get_mime_type");
  return NewUserfree(Resp(self)->mime);
}
void CEF_CALLBACK RespSetMime(cef_response_t* self, const cef_string_t* text) {
  if (CheckAlive(self, "set_mime_type")) Resp(self)->mime = ToU16(text);
}
cef_string_userfree_t CEF_CALLBACK RespGetCharset(cef_response_t* self) {
  CheckAlive(self, "get_charset");
  return NewUserfree(Resp(self)->charset);
}
void CEF_CALLBACK RespSetCharset(cef_response_t* self, const cef_string_t* text) {
  if (CheckAlive(self, "set_charset")) Resp(self)->charset = ToU16(text);
}

bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char16_t x = a[i] < 128 ? static_cast<char16_t>(std::tolower(a[i])) : a[i];
    const char16_t y = b[i] < 128 ? static_cast<char16_t>(std::tolower(b[i])) : b[i];
    if (x != y) return false;
  }
  return true;
}

cef_string_userfree_t CEF_CALLBACK RespGetHeader(cef_response_t* self, const cef_string_t* name) {
  CheckAlive(self, "get_header_by_name");
  const std::u16string key = ToU16(name);
  for (const auto& h : Resp(self)->headers) {
    if (SameName(h.first, key)) return NewUserfree(h.second);
  }
  return NewUserfree(std::u16string());
}
void CEF_CALLBACK RespSetHeader(cef_response_t* self, const cef_string_t* name, const cef_string_t* value,
                                int overwrite) {
  if (!CheckAlive(self, "set_header_by_name")) return;
  ResponseCore* r = Resp(self);
  const std::u16string key = ToU16(name);
  for (auto& h : r->headers) {
    if (SameName(h.first, key)) {
      if (overwrite) h.second = ToU16(value);
      return;
    }
  }
  r->headers.emplace_back(key, ToU16(value));
}
void FillResponse(cef_response_t* r) {
  r->is_read_only = RespIsReadOnly;
  r->get_error = RespGetError;
  r->set_error = RespSetError;
  r->get_status = RespGetStatus;
  r->set_status = RespSetStatus;
  r->get_status_text = RespGetStatusText;
  r->set_status_text = RespSetStatusText;
  r->get_mime_type = RespGetMime;
  r->set_mime_type = RespSetMime;
  r->get_charset = RespGetCharset;
  r->set_charset = RespSetCharset;
  r->get_header_by_name = RespGetHeader;
  r->set_header_by_name = RespSetHeader;
}

// ---- The steps ---------------------------------------------------------------------------

// "bytes=N-..." with one range: its first byte; else -1 (no skip).
long long RangeFirst(const RequestHeaders& headers) {
  auto it = headers.find("range");
  if (it == headers.end()) return -1;
  const std::string& v = it->second;
  if (v.compare(0, 6, "bytes=") != 0 || v.find(',') != std::string::npos) return -1;
  const std::string spec = v.substr(6);
  if (spec.empty() || !std::isdigit(static_cast<unsigned char>(spec[0]))) return -1;
  return std::atoll(spec.c_str());
}

void DoOpen(const DrivePtr& d) {
  if (!STANDIN_HAS_SLOT(d->handler, cef_resource_handler_t, open)) {
    Event("resource.open").Unsigned("request", d->request).Num("present", 0);
    Finish(d, true, ERR_FAILED);
    return;
  }
  int handle_request = 0;
  cef_callback_t* callback = WrapStep<cef_callback_t>(NewStep(d, "open"), "resource_open", FillOpenCallback);
  const int result = d->handler->open(d->handler, d->wrap_request(), &handle_request, callback);
  Event("resource.open").Unsigned("request", d->request).Num("present", 1).Num("result", result)
      .Num("handle_request", handle_request);
  if (handle_request && result) {
    DoSkip(d);
  } else if (handle_request) {
    Finish(d, true, ERR_ABORTED);  // cancelled at once
  } else if (!result) {
    // The deprecated process_request path is not offered: the request fails.
    Finish(d, true, ERR_FAILED);
  }
  // handle_request 0, result 1: the callback decides.
}

void DoSkip(const DrivePtr& d) {
  if (d->range_first <= 0) {
    DoHeaders(d);
    return;
  }
  if (!STANDIN_HAS_SLOT(d->handler, cef_resource_handler_t, skip)) {
    Event("resource.skip").Unsigned("request", d->request).Num("present", 0);
    Finish(d, true, ERR_FAILED);
    return;
  }
  int64_t skipped = 0;
  cef_resource_skip_callback_t* callback =
      WrapStep<cef_resource_skip_callback_t>(NewStep(d, "skip"), "resource_skip", FillSkipCallback);
  const int result = d->handler->skip(d->handler, d->range_first, &skipped, callback);
  Event("resource.skip").Unsigned("request", d->request).Num("present", 1).Num("bytes", d->range_first)
      .Num("result", result).Num("skipped", skipped);
  if (result && skipped == 0) return;  // the callback follows
  if (!result || skipped != d->range_first) {
    Finish(d, true, skipped < 0 ? static_cast<int>(skipped) : ERR_FAILED);
    return;
  }
  DoHeaders(d);
}

void DoHeaders(const DrivePtr& d) {
  ResponseCore* core = new ResponseCore();
  cef_response_t* response = MakeWrapper<cef_response_t>(core, "response", "get_response_headers", FillResponse);
  InfoOf(response)->free_core = [](void* c) { delete static_cast<ResponseCore*>(c); };
  int64_t length = -1;
  cef_string_t redirect = {};
  const bool has = STANDIN_HAS_SLOT(d->handler, cef_resource_handler_t, get_response_headers);
  // The engine keeps its own reference to the response while it reads it.
  response->base.add_ref(&response->base);
  if (has) d->handler->get_response_headers(d->handler, response, &length, &redirect);
  ResourceAnswer& a = *d->answer;
  a.status = core->status == 0 ? 200 : core->status;
  a.status_text = U16ToUtf8(core->status_text);
  a.mime = U16ToUtf8(core->mime);
  a.charset = U16ToUtf8(core->charset);
  std::string names;
  for (const auto& h : core->headers) {
    a.headers.emplace_back(U16ToUtf8(h.first), U16ToUtf8(h.second));
    names += (names.empty() ? "" : ",") + a.headers.back().first;
  }
  Event("resource.headers").Unsigned("request", d->request).Num("present", has ? 1 : 0).Num("status", a.status)
      .Text("mime", a.mime).Text("charset", a.charset).Num("length", length).Text("headers", names)
      .Text("redirect", ToJournal(&redirect));
  ClearString(&redirect);
  ReleaseProductObject(&response->base);  // the engine's own reference
  if (core->error != 0) {
    Finish(d, true, core->error);
    return;
  }
  DoRead(d);
}

void DoRead(const DrivePtr& d) {
  // A loop for answers given at once; an asynchronous one continues from its callback.
  for (;;) {
    if (d->finished || CancelIfGone(d)) return;
    if (!STANDIN_HAS_SLOT(d->handler, cef_resource_handler_t, read)) {
      Event("resource.read").Unsigned("request", d->request).Num("present", 0);
      Finish(d, true, ERR_FAILED);
      return;
    }
    int bytes_read = 0;
    cef_resource_read_callback_t* callback =
        WrapStep<cef_resource_read_callback_t>(NewStep(d, "read"), "resource_read", FillReadCallback);
    const int result = d->handler->read(d->handler, d->buffer.data(), kReadSize, &bytes_read, callback);
    ++d->answer->reads;
    Event("resource.read").Unsigned("request", d->request).Num("result", result).Num("bytes", bytes_read);
    if (result && bytes_read == 0) {
      ++d->answer->async_reads;
      return;  // the callback follows
    }
    if (!result) {
      Finish(d, bytes_read < 0, bytes_read < 0 ? bytes_read : 0);
      return;
    }
    if (bytes_read > kReadSize) {
      Event("resource.read_overflow").Unsigned("request", d->request).Num("bytes", bytes_read);
      Finish(d, true, ERR_FAILED);
      return;
    }
    d->answer->body.append(d->buffer.data(), static_cast<std::size_t>(bytes_read));
  }
}

std::string Base64(const std::string& data) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  const unsigned char* p = reinterpret_cast<const unsigned char*>(data.data());
  const std::size_t n = data.size();
  for (std::size_t i = 0; i < n; i += 3) {
    std::uint32_t v = static_cast<std::uint32_t>(p[i]) << 16;
    if (i + 1 < n) v |= static_cast<std::uint32_t>(p[i + 1]) << 8;
    if (i + 2 < n) v |= p[i + 2];
    out += digits[(v >> 18) & 63];
    out += digits[(v >> 12) & 63];
    out += i + 1 < n ? digits[(v >> 6) & 63] : '=';
    out += i + 2 < n ? digits[v & 63] : '=';
  }
  return out;
}

}  // namespace

void FulfillRequest(const std::string& session, const std::string& request_id, const ResourceAnswer& answer) {
  if (answer.failed) {
    const char* reason = answer.error == ERR_ABORTED ? "Aborted" : "Failed";
    DevToolsSend("Fetch.failRequest", {{"requestId", request_id}, {"errorReason", reason}}, session);
    return;
  }
  Json headers = Json::array();
  if (!answer.mime.empty()) {
    const std::string type = answer.charset.empty() ? answer.mime : answer.mime + "; charset=" + answer.charset;
    headers.push_back({{"name", "Content-Type"}, {"value", type}});
  }
  for (const auto& h : answer.headers) headers.push_back({{"name", h.first}, {"value", h.second}});
  Json params = {{"requestId", request_id}, {"responseCode", answer.status}, {"responseHeaders", headers},
                 {"body", Base64(answer.body)}};
  if (!answer.status_text.empty()) params["responsePhrase"] = answer.status_text;
  DevToolsSend("Fetch.fulfillRequest", params, session);
}

void DriveResourceHandler(BrowserCore* b, unsigned long long request_id,
                          cef_resource_handler_t* handler, std::function<cef_request_t*()> wrap_request,
                          const RequestHeaders& headers,
                          std::function<void(std::shared_ptr<ResourceAnswer>)> done) {
  DrivePtr d = std::make_shared<Drive>();
  d->browser = b;
  d->request = request_id;
  d->handler = handler;
  d->wrap_request = std::move(wrap_request);
  d->headers = headers;
  d->done = std::move(done);
  d->range_first = RangeFirst(headers);
  DoOpen(d);
}

}  // namespace standin
