// The client SDK's report decoder and page-message parser on arbitrary bytes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/portable/page_calls.h"
#include "client/nimo_protocol.h"
#include "protocol/pointer_messages.h"
#include "protocol/frame_ring.h"
#include "tests/fuzz/fuzz_check.h"

namespace p = nimo::protocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> message(data, data + size);
  p::Report report;
  const p::DecodeStatus status = p::DecodeReport(message.empty() ? nullptr : message.data(), size, &report);
  if (status == p::DecodeStatus::kOk) {
    FUZZ_CHECK(size >= nimo::kFrameHeaderSize && size <= nimo::kMaxFrameSize);
    if (report.type == nimo::kMsgLoadEvent || report.type == nimo::kMsgConsoleLine || report.type == nimo::kMsgPageMessage) {
      FUZZ_CHECK(report.text.size() + nimo::kSurfaceHeadSize + nimo::kFrameHeaderSize == size);
    }
    // A ring frame's fields encode back to the bytes they came from (but the two that
    // are always written as 0).
    if (report.type == nimo::kMsgFrameReady3) {
      nimo::FrameReady3Fields f;
      f.surface_id = report.surface_id;
      f.slot = report.slot;
      f.flags = report.flags;
      f.client_handle = report.client_handle;
      f.width = report.width;
      f.height = report.height;
      f.format = report.format;
      f.fence_value = report.fence_value;
      f.paint_time = report.paint_time;
      f.frame_number = report.frame_number;
      const std::vector<std::uint8_t> again = nimo::EncodeFrameReady3(f);
      const std::uint8_t* payload = message.data() + nimo::kFrameHeaderSize;
      for (std::size_t i = 0; i < again.size(); ++i) {
        if ((i >= 12 && i < 16) || (i >= 36 && i < 40)) continue;
        FUZZ_CHECK(again[i] == payload[i]);
      }
    }
    if (report.type == nimo::kMsgPageMessage) {
      p::PageMessage parsed;
      if (p::ParsePageMessage(report.text, &parsed)) {
        FUZZ_CHECK(parsed.kind.find('|') == std::string::npos);
      }
    }
  }

  // The same bytes as a cursor report's payload: a custom picture is exactly its size's
  // pixels and the payload holds nothing else; a standard cursor has no picture.
  nimo::CursorReport cursor;
  if (nimo::DecodeCursorChanged(size == 0 ? nullptr : data, size, &cursor)) {
    if (cursor.type == nimo::kCursorTypeCustom) {
      FUZZ_CHECK(cursor.width >= 1 && cursor.width <= nimo::kCursorPictureMaxSide);
      FUZZ_CHECK(cursor.height >= 1 && cursor.height <= nimo::kCursorPictureMaxSide);
      FUZZ_CHECK(cursor.pixels.size() == std::size_t{cursor.width} * cursor.height * 4);
      FUZZ_CHECK(size == nimo::kSurfaceHeadSize + 8 + cursor.pixels.size());
    } else {
      FUZZ_CHECK(size >= nimo::kSurfaceHeadSize && cursor.pixels.empty() && cursor.width == 0);
    }
  }

  // The same bytes as a page-message text: a well-formed parse encodes back to the text.
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  p::PageMessage parsed;
  if (p::ParsePageMessage(text, &parsed)) {
    FUZZ_CHECK(text.substr(0, p::kPageTag.size()) == p::kPageTag);
    FUZZ_CHECK(parsed.name.find('\x01') == std::string::npos);
    if (parsed.well_formed) {
      FUZZ_CHECK(p::EncodePageMessage(parsed.kind, parsed.name, parsed.args) == text);
    }
  }

  // The same bytes as a call's JSON: what parses rebuilds to the same fields, and a page's
  // call line (which must not name an origin) carries exactly the engine's origin after
  // the engine added it.
  nimo::CallFields call;
  if (nimo::ParseCallFields(text, &call)) {
    std::string rebuilt = "{\"name\":" + nimo::JsonStringLiteral(call.name) + ",\"args\":" + call.args_json;
    if (call.has_origin) rebuilt += ",\"origin\":" + nimo::JsonStringLiteral(call.origin);
    rebuilt += "}";
    nimo::CallFields again;
    FUZZ_CHECK(nimo::ParseCallFields(rebuilt, &again));
    FUZZ_CHECK(again.name == call.name && again.args_json == call.args_json && again.origin == call.origin);
  }
  const std::string line = std::string(nimo::kCallLineTag) + "t.1|" + std::string(text);
  std::string_view token, body;
  if (nimo::ParseCallLine(line, &token, &body)) {
    nimo::CallFields sent;
    FUZZ_CHECK(nimo::ParseCallFields(nimo::CallJson(body, "https://nimo.localhost"), &sent));
    FUZZ_CHECK(sent.has_origin && sent.origin == "https://nimo.localhost");
  }

  // A number argument's text reads back as the same number.
  if (size >= 8) {
    double d;
    std::memcpy(&d, data, 8);
    const p::PageArg arg = p::PageArg::Number(d);
    if (std::isfinite(d)) {
      FUZZ_CHECK(arg.tag == 'n');
      FUZZ_CHECK(std::strtod(arg.value.c_str(), nullptr) == d);
    } else {
      FUZZ_CHECK(arg.tag == 'z');
    }
  }
  return 0;
}
