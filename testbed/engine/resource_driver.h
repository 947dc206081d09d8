// A resource handler of the product (get_resource_handler), driven as the engine drives
// it: open (answered at once, or later through its callback), skip to the first byte of a
// Range request, get_response_headers on a response the engine owns, then read until the
// end (each read answered at once or through its callback from any thread), cancel when
// the page's browser closes before the end. Every call and callback is journaled
// (`resource.open`, `resource.skip`, `resource.headers`, `resource.read`,
// `resource.cancel`, `resource.answered`); every object handed over is a tracked wrapper,
// so leaks and over-releases show in the reference audit.
//
// Threads: DriveResourceHandler and every step run on the stand-in's IO thread; the
// product's callbacks may come from any thread and are handed back to it.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testbed/engine/engine_decls.h"

namespace standin {

struct BrowserCore;

// What the product answered. `failed` when the request ends without an answer (the
// handler cancelled or failed, or the page went away); `error` is the engine's error code.
struct ResourceAnswer {
  bool failed = false;
  int error = 0;
  bool cancelled_by_engine = false;
  int status = 200;
  std::string status_text;
  std::string mime;
  std::string charset;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  long long reads = 0;        // read calls
  long long async_reads = 0;  // of them answered through the callback
};

// Request headers by lower-case name.
using RequestHeaders = std::map<std::string, std::string>;

// Drives `handler` (whose one reference, the engine's, this takes over) for the request
// `request_id`; `wrap_request` makes a fresh wrapper of the request for open. `done` runs
// on the IO thread once, with the answer. The browser closing before the end cancels the
// handler.
void DriveResourceHandler(BrowserCore* b, unsigned long long request_id,
                          cef_resource_handler_t* handler, std::function<cef_request_t*()> wrap_request,
                          const RequestHeaders& headers,
                          std::function<void(std::shared_ptr<ResourceAnswer>)> done);

// The Chromium mode: answers the paused request `request_id` of a page session with the
// product's answer (Fetch.fulfillRequest with its status, headers and body), or fails it.
void FulfillRequest(const std::string& session, const std::string& request_id, const ResourceAnswer& answer);

}  // namespace standin
