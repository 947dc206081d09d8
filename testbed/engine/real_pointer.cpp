#include "testbed/engine/real_pointer.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "testbed/engine/browser.h"
#include "testbed/engine/devtools.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/loop.h"
#include "testbed/engine/real_page.h"
#include "testbed/engine/strings.h"

namespace standin {

namespace {

struct PointerState {
  int x = 0, y = 0;            // the last mouse position, where a drag starts
  std::string cursor_key;      // the last cursor told (type, picture, hotspot)
  bool tooltip_told = false;
  std::string tooltip;         // the last tooltip told
  Json drag_data;              // the drag in progress, as the page gave it
};

std::mutex state_lock;
std::map<const BrowserCore*, PointerState>& states() {
  static auto* m = new std::map<const BrowserCore*, PointerState>();
  return *m;
}

// What lies under the pointer: the element's computed cursor, whether it is a link or an
// editable field (the engine resolves `auto` to a hand or an I-beam there), a custom
// cursor's picture (RGBA, base64) and hotspot, and the nearest title.
const char* kProbe = R"JS((async (x, y) => {
  const e = document.elementFromPoint(x, y);
  if (!e) return { cursor: "auto", title: "" };
  const r = { cursor: getComputedStyle(e).cursor, title: "" };
  for (let n = e; n; n = n.parentElement) {
    const t = n.getAttribute && n.getAttribute("title");
    if (t) { r.title = t; break; }
  }
  r.link = !!(e.closest && e.closest("a[href]"));
  const plain = ["button", "submit", "reset", "checkbox", "radio", "range", "color", "file", "image", "hidden"];
  r.editable = e.isContentEditable || e.tagName === "TEXTAREA" || (e.tagName === "INPUT" && !plain.includes(e.type));
  const m = /url\(\s*["']?([^"')]+)["']?\s*\)(?:\s+(-?\d+)\s+(-?\d+))?/.exec(r.cursor);
  if (m) {
    r.url = m[1];
    r.hx = m[2] ? +m[2] : 0;
    r.hy = m[3] ? +m[3] : 0;
    try {
      const img = new Image();
      img.src = m[1];
      await img.decode();
      const c = document.createElement("canvas");
      c.width = img.naturalWidth;
      c.height = img.naturalHeight;
      const g = c.getContext("2d");
      g.drawImage(img, 0, 0);
      const d = g.getImageData(0, 0, c.width, c.height).data;
      let s = "";
      for (let i = 0; i < d.length; i += 8192) s += String.fromCharCode.apply(null, d.subarray(i, i + 8192));
      r.w = c.width;
      r.h = c.height;
      r.rgba = btoa(s);
    } catch (err) {
      r.error = String(err);
    }
  }
  return r;
}))JS";

int KeywordCursor(const std::string& value, bool link, bool editable) {
  static const std::map<std::string, int> named = {
      {"default", CT_POINTER}, {"pointer", CT_HAND}, {"text", CT_IBEAM}, {"vertical-text", CT_VERTICALTEXT},
      {"crosshair", CT_CROSS}, {"wait", CT_WAIT}, {"help", CT_HELP}, {"progress", CT_PROGRESS},
      {"move", CT_MOVE}, {"all-scroll", CT_MOVE}, {"not-allowed", CT_NOTALLOWED}, {"no-drop", CT_NODROP},
      {"grab", CT_GRAB}, {"grabbing", CT_GRABBING}, {"copy", CT_COPY}, {"alias", CT_ALIAS}, {"cell", CT_CELL},
      {"context-menu", CT_CONTEXTMENU}, {"zoom-in", CT_ZOOMIN}, {"zoom-out", CT_ZOOMOUT}, {"none", CT_NONE},
      {"e-resize", CT_EASTRESIZE}, {"n-resize", CT_NORTHRESIZE}, {"ne-resize", CT_NORTHEASTRESIZE},
      {"nw-resize", CT_NORTHWESTRESIZE}, {"s-resize", CT_SOUTHRESIZE}, {"se-resize", CT_SOUTHEASTRESIZE},
      {"sw-resize", CT_SOUTHWESTRESIZE}, {"w-resize", CT_WESTRESIZE}, {"ns-resize", CT_NORTHSOUTHRESIZE},
      {"ew-resize", CT_EASTWESTRESIZE}, {"nesw-resize", CT_NORTHEASTSOUTHWESTRESIZE},
      {"nwse-resize", CT_NORTHWESTSOUTHEASTRESIZE}, {"col-resize", CT_COLUMNRESIZE}, {"row-resize", CT_ROWRESIZE},
  };
  // The keyword is the last item of the value (after any url() pictures).
  std::string keyword = value;
  const std::size_t comma = keyword.rfind(',');
  if (comma != std::string::npos) keyword = keyword.substr(comma + 1);
  while (!keyword.empty() && keyword.front() == ' ') keyword.erase(keyword.begin());
  auto it = named.find(keyword);
  if (it != named.end()) return it->second;
  if (link) return CT_HAND;
  if (editable) return CT_IBEAM;
  return CT_POINTER;
}

std::string Base64Decode(const std::string& in) {
  static const std::string chars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  int value = 0, bits = -8;
  for (char c : in) {
    const std::size_t i = chars.find(c);
    if (i == std::string::npos) continue;
    value = (value << 6) + static_cast<int>(i);
    bits += 6;
    if (bits >= 0) {
      out.push_back(static_cast<char>((value >> bits) & 0xFF));
      bits -= 8;
    }
  }
  return out;
}

// On the UI thread: tells the product what changed under the pointer.
void Told(BrowserCore* b, const Json& r) {
  if (b->closed.load()) return;
  const std::string cursor = r.value("cursor", std::string("auto"));
  const std::string title = r.value("title", std::string());
  int type = KeywordCursor(cursor, r.value("link", false), r.value("editable", false));
  std::vector<std::uint8_t> bgra;
  cef_cursor_info_t info = {};
  if (r.contains("rgba") && r.value("w", 0) > 0 && r.value("h", 0) > 0) {
    const std::string rgba = Base64Decode(r["rgba"].get<std::string>());
    const int w = r["w"].get<int>(), h = r["h"].get<int>();
    if (rgba.size() == static_cast<std::size_t>(w) * h * 4) {
      bgra.resize(rgba.size());
      for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
        bgra[i] = static_cast<std::uint8_t>(rgba[i + 2]);
        bgra[i + 1] = static_cast<std::uint8_t>(rgba[i + 1]);
        bgra[i + 2] = static_cast<std::uint8_t>(rgba[i]);
        bgra[i + 3] = static_cast<std::uint8_t>(rgba[i + 3]);
      }
      type = CT_CUSTOM;
      info.hotspot = {r.value("hx", 0), r.value("hy", 0)};
      info.image_scale_factor = 1.0f;
      info.buffer = bgra.data();
      info.size = {w, h};
    }
  }
  const std::string key = std::to_string(type) + "|" + (type == CT_CUSTOM ? r.value("url", std::string()) : "") +
                          "|" + std::to_string(info.hotspot.x) + "," + std::to_string(info.hotspot.y);
  bool cursor_changed, tooltip_changed;
  {
    std::lock_guard<std::mutex> hold(state_lock);
    PointerState& s = states()[b];
    cursor_changed = s.cursor_key != key;
    s.cursor_key = key;
    tooltip_changed = s.tooltip_told ? s.tooltip != title : !title.empty();
    s.tooltip = title;
    s.tooltip_told = true;
  }
  if (cursor_changed) RaiseCursorChange(b, type, type == CT_CUSTOM ? &info : nullptr);
  if (tooltip_changed) RaiseTooltip(b, Utf8ToU16(title));
}

}  // namespace

void RealPointerOpen(BrowserCore* b) {
  DevToolsSend("Input.setInterceptDrags", {{"enabled", true}}, RealPageSession(b));
}

void RealPointerMoved(BrowserCore* b, int x, int y) {
  {
    std::lock_guard<std::mutex> hold(state_lock);
    PointerState& s = states()[b];
    s.x = x;
    s.y = y;
  }
  const std::string expression = std::string(kProbe) + "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
  DevToolsSend("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}},
               RealPageSession(b), [b](const Json& result, const std::string& error) {
                 if (!error.empty() || !result.contains("result") || !result["result"].contains("value")) return;
                 const Json value = result["result"]["value"];
                 if (!value.is_object()) return;
                 PostEngineWork([b, value] { Told(b, value); });
               });
}

void RealDragIntercepted(BrowserCore* b, const Json& params) {
  const Json data = params.value("data", Json::object());
  DragItems items;
  for (const Json& item : data.value("items", Json::array())) {
    items.items.emplace_back(item.value("mimeType", std::string()), item.value("data", std::string()));
  }
  items.allowed_ops = data.value("dragOperationsMask", 0);
  int x, y;
  {
    std::lock_guard<std::mutex> hold(state_lock);
    PointerState& s = states()[b];
    x = s.x;
    y = s.y;
  }
  Event("chromium.drag_intercepted").Num("browser", b->id).Num("items", static_cast<long long>(items.items.size()))
      .Num("ops", items.allowed_ops);
  PostEngineWork([b, items, data, x, y] {
    if (b->closed.load()) return;
    if (!RaiseStartDragging(b, items, x, y)) {
      // Not taken: the engine ends the drag at once.
      DevToolsSend("Input.dispatchDragEvent", {{"type", "dragCancel"}, {"x", x}, {"y", y}, {"data", data}},
                   RealPageSession(b));
    }
  });
}

void RealDragTarget(BrowserCore* b, const char* type, const cef_mouse_event_t* e, const DragItems* items) {
  Json data;
  int x, y;
  {
    std::lock_guard<std::mutex> hold(state_lock);
    PointerState& s = states()[b];
    if (items != nullptr) {
      Json list = Json::array();
      for (const auto& item : items->items) list.push_back({{"mimeType", item.first}, {"data", item.second}});
      s.drag_data = {{"items", list}, {"dragOperationsMask", items->allowed_ops}};
    }
    if (e != nullptr) {
      s.x = e->x;
      s.y = e->y;
    }
    data = s.drag_data.is_null() ? Json{{"items", Json::array()}, {"dragOperationsMask", 0}} : s.drag_data;
    x = s.x;
    y = s.y;
  }
  DevToolsSend("Input.dispatchDragEvent", {{"type", type}, {"x", x}, {"y", y}, {"data", data}}, RealPageSession(b));
}

void RealDragSourceEnded(BrowserCore* b, int x, int y) {
  {
    std::lock_guard<std::mutex> hold(state_lock);
    states()[b].drag_data = Json();
  }
  // The press that started the drag is over.
  DevToolsSend("Input.dispatchMouseEvent",
               {{"type", "mouseReleased"}, {"x", x}, {"y", y}, {"button", "left"}, {"buttons", 0}, {"clickCount", 1}},
               RealPageSession(b));
}

void RealPointerClosed(BrowserCore* b) {
  std::lock_guard<std::mutex> hold(state_lock);
  states().erase(b);
}

}  // namespace standin
