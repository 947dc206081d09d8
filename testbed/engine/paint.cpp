#include "testbed/engine/paint.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "testbed/engine/browser.h"
#include "testbed/engine/journal.h"
#include "testbed/engine/loop.h"
#include "testbed/engine/pointer.h"
#include "testbed/engine/real_page.h"
#include "testbed/engine/scenario.h"
#include "testbed/engine/slots.h"
#include "testbed/gpu/standin_gpu.h"

namespace standin {

namespace {

constexpr std::uint32_t kBackground = 0xFF141414u;  // rgb(20,20,20)
constexpr std::uint32_t kSquare = 0xFFD24646u;      // rgb(210,70,70)
constexpr int kSquareSize = 240;
constexpr std::uint32_t kDxgiB8G8R8A8 = 87;
constexpr std::uint32_t kDxgiR8G8B8A8 = 28;
constexpr int kTexturesPerSize = 2;  // the engine hands out textures of a small pool in turn

enum class Content { kNone, kProbe, kPattern, kReal };

struct PoolTexture {
  HANDLE handle = nullptr;
  int width = 0, height = 0;
  std::uint32_t format = 0;
  long long holds_frame = -1;  // the paint (by count) whose pixels it has
};

// What changed in one frame, so a pooled texture holding an older frame can be brought up
// to date by rewriting only those rectangles.
struct FrameChange {
  long long frame = 0;  // paint count
  bool whole = false;
  std::vector<cef_rect_t> rects;
};

}  // namespace

struct PaintState {
  int width = 0, height = 0;  // the view as last reported by get_view_rect
  Content content = Content::kNone;
  std::string pattern = "solid";
  std::uint32_t color = 0xFFFFFFFFu;
  bool animate = false;       // content changes every frame
  bool full_dirty = true;     // the next frame repaints everything
  bool frame_requested = false;  // a `when=frame` paint waits for the next frame
  std::vector<cef_rect_t> requested_dirty;
  long long frame = 0;
  int square_x = -1;          // probe page: where the square was last painted
  FramePixels pixels;  // the current frame, width * height
  std::vector<PoolTexture> pool;
  int next_texture = 0;
  std::vector<FrameChange> history;  // the latest frames, oldest first
  std::vector<cef_rect_t> animate_dirty;
  bool timer_running = false;
  long long paints = 0;
  cef_rect_t popup_rect = {0, 0, 0, 0};  // the popup widget's place, as last announced
};

namespace {

std::uint32_t PatternPixel(const PaintState& p, int x, int y) {
  if (p.pattern == "gradient") {
    return 0xFF000000u | (static_cast<std::uint32_t>(p.frame & 0xFF) << 16) | (static_cast<std::uint32_t>(y & 0xFF) << 8) |
           static_cast<std::uint32_t>(x & 0xFF);
  }
  if (p.pattern == "checker") return ((x / 8 + y / 8) & 1) ? p.color : (~p.color | 0xFF000000u);
  return p.color;
}

bool IsProbePage(const std::string& url) {
  return url.compare(0, 15, "data:text/html,") == 0 && url.find("translateX('+(n&255)+'px)") != std::string::npos;
}

std::string RectList(const std::vector<cef_rect_t>& rects) {
  std::string text;
  char buffer[64];
  for (const cef_rect_t& r : rects) {
    std::snprintf(buffer, sizeof buffer, "%s%d,%d,%d,%d", text.empty() ? "" : ";", r.x, r.y, r.width, r.height);
    text += buffer;
  }
  return text;
}

std::vector<cef_rect_t> ParseRects(const std::string& text) {
  std::vector<cef_rect_t> rects;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(';', start);
    std::string one = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    cef_rect_t r = {0, 0, 0, 0};
    if (std::sscanf(one.c_str(), "%d,%d,%d,%d", &r.x, &r.y, &r.width, &r.height) == 4) rects.push_back(r);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return rects;
}

PaintState* State(BrowserCore* b) {
  if (!b->paint) b->paint = new PaintState();
  return b->paint;
}

void Resize(PaintState* p, int width, int height) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  if (width == p->width && height == p->height && !p->pixels.empty()) return;
  p->width = width;
  p->height = height;
  p->pixels.assign(static_cast<std::size_t>(width) * height, p->content == Content::kProbe ? kBackground : 0u);
  p->full_dirty = true;
  p->square_x = -1;
}

void FillPattern(PaintState* p) {
  for (int y = 0; y < p->height; ++y) {
    for (int x = 0; x < p->width; ++x) p->pixels[static_cast<std::size_t>(y) * p->width + x] = PatternPixel(*p, x, y);
  }
}

void FillPatternRect(PaintState* p, const cef_rect_t& r) {
  int x1 = std::min(p->width, r.x + r.width), y1 = std::min(p->height, r.y + r.height);
  for (int y = std::max(0, r.y); y < y1; ++y) {
    for (int x = std::max(0, r.x); x < x1; ++x) p->pixels[static_cast<std::size_t>(y) * p->width + x] = PatternPixel(*p, x, y);
  }
}

void FillRect(PaintState* p, int x0, int y0, int w, int h, std::uint32_t color) {
  int x1 = std::min(p->width, x0 + w), y1 = std::min(p->height, y0 + h);
  for (int y = std::max(0, y0); y < y1; ++y) {
    for (int x = std::max(0, x0); x < x1; ++x) p->pixels[static_cast<std::size_t>(y) * p->width + x] = color;
  }
}

// Moves the probe page's square one pixel (wrapping after 256 frames) and returns the
// region that changed.
cef_rect_t StepProbe(PaintState* p) {
  int x = static_cast<int>(p->frame & 255);
  int old = p->square_x;
  if (old >= 0) FillRect(p, old, 0, kSquareSize, kSquareSize, kBackground);
  FillRect(p, x, 0, kSquareSize, kSquareSize, kSquare);
  p->square_x = x;
  int left = old < 0 ? x : std::min(old, x);
  int right = old < 0 ? x + kSquareSize : std::max(old, x) + kSquareSize;
  right = std::min(right, p->width);
  return cef_rect_t{left, 0, std::max(0, right - left), std::min(kSquareSize, p->height)};
}

void Remember(PaintState* p, const std::vector<cef_rect_t>& rects, bool whole) {
  FrameChange change;
  change.frame = p->paints;
  change.whole = whole;
  change.rects = rects;
  p->history.push_back(change);
  if (p->history.size() > 8) p->history.erase(p->history.begin());
}

HANDLE PoolHandle(PaintState* p, std::uint32_t format) {
  static NimoStandinShareTextureFn share = nullptr;
  static NimoStandinWriteTextureFn write = nullptr;
  if (!share) {
    HMODULE gpu = GetModuleHandleA("d3d11.dll");
    if (!gpu) gpu = LoadLibraryA("d3d11.dll");
    if (gpu) {
      share = reinterpret_cast<NimoStandinShareTextureFn>(reinterpret_cast<void*>(GetProcAddress(gpu, "NimoStandinShareTexture")));
      write = reinterpret_cast<NimoStandinWriteTextureFn>(reinterpret_cast<void*>(GetProcAddress(gpu, "NimoStandinWriteTexture")));
    }
  }
  if (!share || !write) return nullptr;
  // Textures of another size or format leave the pool, as the engine's pool does on resize.
  for (auto it = p->pool.begin(); it != p->pool.end();) {
    if (it->width != p->width || it->height != p->height || it->format != format) {
      CloseHandle(it->handle);
      it = p->pool.erase(it);
    } else {
      ++it;
    }
  }
  std::uint32_t pitch = static_cast<std::uint32_t>(p->width) * 4;
  if (static_cast<int>(p->pool.size()) < kTexturesPerSize) {
    PoolTexture t;
    t.width = p->width;
    t.height = p->height;
    t.format = format;
    t.handle = share(static_cast<std::uint32_t>(p->width), static_cast<std::uint32_t>(p->height), format,
                     p->pixels.data(), pitch);
    if (!t.handle) return nullptr;
    t.holds_frame = p->paints;
    p->pool.push_back(t);
    p->next_texture = static_cast<int>(p->pool.size()) - 1;
    return t.handle;
  }
  p->next_texture = (p->next_texture + 1) % static_cast<int>(p->pool.size());
  PoolTexture& t = p->pool[static_cast<std::size_t>(p->next_texture)];
  // Rewrite what changed since the frame the texture holds; all of it when that is not known.
  bool whole = p->history.empty() || p->history.front().frame > t.holds_frame + 1;
  std::vector<cef_rect_t> rects;
  for (const FrameChange& c : p->history) {
    if (c.frame <= t.holds_frame) continue;
    if (c.whole) whole = true;
    rects.insert(rects.end(), c.rects.begin(), c.rects.end());
  }
  if (whole) {
    write(t.handle, 0, 0, static_cast<std::uint32_t>(p->width), static_cast<std::uint32_t>(p->height), p->pixels.data(),
          pitch);
  } else {
    for (const cef_rect_t& r : rects) {
      int x0 = std::max(0, r.x), y0 = std::max(0, r.y);
      int x1 = std::min(p->width, r.x + r.width), y1 = std::min(p->height, r.y + r.height);
      if (x1 <= x0 || y1 <= y0) continue;
      write(t.handle, static_cast<std::uint32_t>(x0), static_cast<std::uint32_t>(y0), static_cast<std::uint32_t>(x1 - x0),
            static_cast<std::uint32_t>(y1 - y0), p->pixels.data() + static_cast<std::size_t>(y0) * p->width + x0, pitch);
    }
  }
  t.holds_frame = p->paints;
  return t.handle;
}

// What the stand-in GPU has done on this thread so far: time inside the entry points of
// both its libraries and pixel bytes copied, read from its counters (no file), so one
// paint callback's share of each is the difference around the call.
struct GpuMeter {
  long long micros = 0;
  unsigned long long bytes = 0;
};

GpuMeter ReadGpuMeter() {
  static NimoStandinThreadMicrosFn d3d = nullptr, dxgi = nullptr;
  static NimoStandinGpuStatsFn stats = nullptr;
  // The libraries may be loaded only by the product's first paint.
  if (!d3d) d3d = NimoStandinExport<NimoStandinThreadMicrosFn>("d3d11.dll", "NimoStandinGpuThreadMicros");
  if (!dxgi) dxgi = NimoStandinExport<NimoStandinThreadMicrosFn>("dxgi.dll", "NimoStandinDxgiThreadMicros");
  if (!stats) stats = NimoStandinExport<NimoStandinGpuStatsFn>("d3d11.dll", "NimoStandinGpuStats");
  GpuMeter m;
  m.micros = static_cast<long long>((d3d ? d3d() : 0) + (dxgi ? dxgi() : 0));  // first, before the slower read
  if (stats) {
    NimoGpuStats s = {};
    stats(&s);
    m.bytes = s.copy_resource_bytes + s.copy_region_bytes + s.update_bytes;
  }
  return m;
}

// Journals one paint call after it returned: the time right before it was made and the
// stand-in GPU's time and bytes inside it, so a benchmark can count from the call rather
// than from the stand-in's own work before it, and take the stand-in GPU's share out.
void JournalDelivered(BrowserCore* b, const char* path, const GpuMeter& before, long long called) {
  const GpuMeter after = ReadGpuMeter();  // reads the time before the byte counters
  Event("paint.delivered").Num("browser", b->id).Text("path", path).Num("call_us", called)
      .Num("gpu_us", after.micros - before.micros).Unsigned("copied", after.bytes - before.bytes);
}

// Hands one frame to the product on the path the browser was created for.
// `changed` lists what differs from the previous frame (`whole`: everything), which may be
// more than the dirty rectangles announced.
void Deliver(BrowserCore* b, cef_paint_element_type_t type, const std::vector<cef_rect_t>& dirty, bool whole,
             std::uint32_t format, const std::vector<cef_rect_t>& changed) {
  PaintState* p = State(b);
  ++p->paints;
  Remember(p, changed, whole);
  cef_render_handler_t* h = RenderHandlerOf(b);
  bool accelerated = b->window.shared_texture_enabled != 0;
  if (accelerated) {
    bool has = STANDIN_HAS_SLOT(h, cef_render_handler_t, on_accelerated_paint);
    HANDLE handle = has ? PoolHandle(p, format) : nullptr;
    Event("paint.deliver").Num("browser", b->id).Text("path", "gpu").Num("type", type).Num("width", p->width)
        .Num("height", p->height).Num("count", static_cast<long long>(dirty.size())).Text("dirty", RectList(dirty))
        .Num("frame", p->frame).Ptr("handle", handle).Num("format", format == kDxgiR8G8B8A8 ? 0 : 1)
        .Num("present", has ? 1 : 0);
    if (has && handle) {
      cef_accelerated_paint_info_t info;
      std::memset(&info, 0, sizeof info);
      info.shared_texture_handle = handle;
      info.format = format == kDxgiR8G8B8A8 ? CEF_COLOR_TYPE_RGBA_8888 : CEF_COLOR_TYPE_BGRA_8888;
      info.extra.coded_size = {p->width, p->height};
      info.extra.visible_rect = {0, 0, p->width, p->height};
      info.extra.content_rect = {0, 0, p->width, p->height};
      info.extra.source_size = {p->width, p->height};
      info.extra.has_source_size = 1;
      cef_browser_t* browser = WrapBrowser(b, "on_accelerated_paint");
      const GpuMeter before = ReadGpuMeter();
      const long long called = JournalMicros();
      h->on_accelerated_paint(h, browser, type, dirty.size(), dirty.empty() ? nullptr : dirty.data(), &info);
      JournalDelivered(b, "gpu", before, called);
    } else if (has) {
      Event("paint.no_gpu").Num("browser", b->id).Text("reason", "the stand-in GPU's d3d11.dll is not loaded");
    }
  } else {
    bool has = STANDIN_HAS_SLOT(h, cef_render_handler_t, on_paint);
    Event("paint.deliver").Num("browser", b->id).Text("path", "cpu").Num("type", type).Num("width", p->width)
        .Num("height", p->height).Num("count", static_cast<long long>(dirty.size())).Text("dirty", RectList(dirty))
        .Num("frame", p->frame).Num("present", has ? 1 : 0);
    if (has) {
      cef_browser_t* browser = WrapBrowser(b, "on_paint");
      const GpuMeter before = ReadGpuMeter();
      const long long called = JournalMicros();
      h->on_paint(h, browser, type, dirty.size(), dirty.empty() ? nullptr : dirty.data(), p->pixels.data(), p->width,
                  p->height);
      JournalDelivered(b, "cpu", before, called);
    }
  }
  ReleaseHandler(h);
}

// One frame opportunity (a begin frame or a timer tick): paints when something changed.
void Frame(BrowserCore* b) {
  PaintState* p = State(b);
  if (b->closed.load() || b->hidden.load()) return;
  if (b->real) {
    // Shown again: the whole view at once from the frame the page last had; the page
    // itself is asked for its next frame either way.
    if (p->full_dirty && p->content == Content::kReal && !p->pixels.empty()) {
      p->full_dirty = false;
      std::vector<cef_rect_t> all = {cef_rect_t{0, 0, p->width, p->height}};
      Deliver(b, PET_VIEW, all, true, kDxgiB8G8R8A8, all);
    }
    RealFrameOpportunity(b);
    return;
  }
  bool changed = p->animate || p->full_dirty || p->frame_requested;
  if (!changed || p->content == Content::kNone) return;
  ++p->frame;
  std::vector<cef_rect_t> dirty;
  if (p->content == Content::kProbe) {
    cef_rect_t moved = StepProbe(p);
    dirty.push_back(p->full_dirty ? cef_rect_t{0, 0, p->width, p->height} : moved);
  } else {
    const std::vector<cef_rect_t>& wanted = p->frame_requested ? p->requested_dirty : p->animate_dirty;
    if (!wanted.empty() && !p->full_dirty) {
      // Only the announced rectangles change: cheap frames, as a page animating a part.
      dirty = wanted;
      for (const cef_rect_t& r : dirty) FillPatternRect(p, r);
    } else {
      FillPattern(p);
      dirty.push_back(cef_rect_t{0, 0, p->width, p->height});
    }
  }
  bool whole = p->full_dirty;
  p->full_dirty = false;
  p->frame_requested = false;
  p->requested_dirty.clear();
  Deliver(b, PET_VIEW, dirty, whole, kDxgiB8G8R8A8, dirty);
}

int TimerPeriodMs(BrowserCore* b) {
  int rate = b->frame_rate.load();
  if (rate <= 0) rate = 30;
  rate = std::min(rate, 60);
  return 1000 / rate;
}

void Tick(BrowserCore* b) {
  PaintState* p = State(b);
  if (b->closed.load() || b->window.external_begin_frame_enabled) {
    p->timer_running = false;
    return;
  }
  Frame(b);
  PostEngineWork([b] { Tick(b); }, TimerPeriodMs(b));
}

// The page's own animation timer (`paint animate=1 interval=N`): a frame opportunity every
// N ms whatever the browser's frame rate or begin frames, until the animation stops, the
// page navigates or the browser closes.
void PageTick(BrowserCore* b, int generation, long long interval_ms) {
  PaintState* p = State(b);
  if (b->closed.load() || b->generation.load() != generation || !p->animate) return;
  Frame(b);
  PostEngineWork([b, generation, interval_ms] { PageTick(b, generation, interval_ms); }, interval_ms);
}

void StartTimer(BrowserCore* b) {
  PaintState* p = State(b);
  if (p->timer_running || b->window.external_begin_frame_enabled || !b->window.windowless_rendering_enabled) return;
  p->timer_running = true;
  PostEngineWork([b] { Tick(b); }, TimerPeriodMs(b));
}

}  // namespace

void PaintOnCreated(BrowserCore* b) {
  PaintState* p = State(b);
  cef_rect_t view = QueryViewRect(b, "paint");
  Resize(p, PaintPixels(b, view.width), PaintPixels(b, view.height));
  StartTimer(b);
}

void PaintOnNavigated(BrowserCore* b, const std::string& url) {
  if (b->real) return;  // a real page paints what it shows
  PaintState* p = State(b);
  p->frame = 0;
  p->animate = false;
  p->square_x = -1;
  p->full_dirty = true;
  if (IsProbePage(url)) {
    p->content = Content::kProbe;
    p->animate = true;
    std::fill(p->pixels.begin(), p->pixels.end(), kBackground);
  } else {
    // An ordinary page shows one still frame (its background) until the scenario paints.
    p->content = Content::kPattern;
    p->pattern = "solid";
    p->color = 0xFFFFFFFFu;
  }
}

void PaintOnBeginFrame(BrowserCore* b) {
  if (b->window.external_begin_frame_enabled) Frame(b);
}

void PaintOnInvalidate(BrowserCore* b, int type) {
  PaintState* p = State(b);
  if (type != PET_VIEW || p->content == Content::kNone) return;
  if (p->content == Content::kReal) {
    // Nothing changed in the page: its current frame again, whole.
    if (b->hidden.load() || p->pixels.empty()) return;
    std::vector<cef_rect_t> all = {cef_rect_t{0, 0, p->width, p->height}};
    Deliver(b, PET_VIEW, all, true, kDxgiB8G8R8A8, all);
    return;
  }
  p->full_dirty = true;
  // The engine repaints the whole view at once for an invalidation.
  Frame(b);
}

void PaintOnResized(BrowserCore* b) {
  PaintState* p = State(b);
  cef_rect_t view = QueryViewRect(b, "paint");
  if (b->real) {
    RealResize(b, view.width, view.height);  // frames of the new size follow
    return;
  }
  Resize(p, PaintPixels(b, view.width), PaintPixels(b, view.height));
  if (p->content == Content::kProbe) std::fill(p->pixels.begin(), p->pixels.end(), kBackground);
  p->full_dirty = true;
}

void PaintOnShown(BrowserCore* b) { State(b)->full_dirty = true; }

void PaintOnFrameRate(BrowserCore* b) { StartTimer(b); }

void PaintAction(BrowserCore* b, const Directive& d) {
  PaintState* p = State(b);
  std::string type = d.Get("type", "view");
  std::uint32_t format = d.Get("format", "bgra") == "rgba" ? kDxgiR8G8B8A8 : kDxgiB8G8R8A8;
  if (type == "popup") {
    // A popup widget (a select list): its own small buffer, which the product must not
    // take for the view.
    PaintState popup;
    popup.pattern = d.Get("pattern", "solid");
    popup.color = static_cast<std::uint32_t>(std::strtoul(d.Get("color", "0xFF00FF00").c_str(), nullptr, 0));
    // The engine paints a popup at the size it announced; 100x50 before any announcement.
    const bool sized = p->popup_rect.width > 0 && p->popup_rect.height > 0;
    Resize(&popup, static_cast<int>(d.Int("width", sized ? p->popup_rect.width : 100)),
           static_cast<int>(d.Int("height", sized ? p->popup_rect.height : 50)));
    FillPattern(&popup);
    std::swap(p->pixels, popup.pixels);
    std::swap(p->width, popup.width);
    std::swap(p->height, popup.height);
    std::vector<cef_rect_t> dirty = {cef_rect_t{0, 0, p->width, p->height}};
    std::vector<PoolTexture> pool;
    std::swap(p->pool, pool);
    Deliver(b, PET_POPUP, dirty, true, format, dirty);
    for (PoolTexture& t : p->pool) CloseHandle(t.handle);
    std::swap(p->pool, pool);
    std::swap(p->pixels, popup.pixels);
    std::swap(p->width, popup.width);
    std::swap(p->height, popup.height);
    return;
  }
  p->content = Content::kPattern;
  p->pattern = d.Get("pattern", p->pattern);
  if (d.Has("color")) p->color = static_cast<std::uint32_t>(std::strtoul(d.Get("color").c_str(), nullptr, 0));
  if (d.Has("animate")) {
    // An animation paints from the next frame opportunity on, not at once.
    p->animate = d.Int("animate", 0) != 0;
    p->animate_dirty = d.Has("dirty") ? ParseRects(d.Get("dirty")) : std::vector<cef_rect_t>();
    if (d.Has("width") || d.Has("height")) {
      Resize(p, static_cast<int>(d.Int("width", p->width)), static_cast<int>(d.Int("height", p->height)));
    }
    if (p->animate && d.Has("interval")) {
      const long long interval_ms = std::max(1LL, d.Int("interval", 16));
      const int generation = b->generation.load();
      PostEngineWork([b, generation, interval_ms] { PageTick(b, generation, interval_ms); }, interval_ms);
    }
    return;
  }
  if (d.Has("width") || d.Has("height")) {
    Resize(p, static_cast<int>(d.Int("width", p->width)), static_cast<int>(d.Int("height", p->height)));
  }
  std::vector<cef_rect_t> dirty = d.Has("dirty") ? ParseRects(d.Get("dirty")) : std::vector<cef_rect_t>();
  if (d.Get("when") == "frame") {
    p->frame_requested = true;
    p->requested_dirty = dirty;
    return;
  }
  long long count = std::max(1LL, d.Int("count", 1));
  for (long long i = 0; i < count; ++i) {
    ++p->frame;
    FillPattern(p);
    std::vector<cef_rect_t> rects = dirty.empty() ? std::vector<cef_rect_t>{cef_rect_t{0, 0, p->width, p->height}} : dirty;
    // The whole frame is new, whatever the announced rectangles say.
    p->full_dirty = false;
    Deliver(b, PET_VIEW, rects, true, format, rects);
  }
}

void PaintRealFrame(BrowserCore* b, int width, int height, FramePixels pixels,
                    const std::vector<cef_rect_t>& dirty, bool whole) {
  PaintState* p = State(b);
  if (b->closed.load()) return;
  p->content = Content::kReal;
  const bool resized = width != p->width || height != p->height;
  p->width = width;
  p->height = height;
  p->pixels = std::move(pixels);
  if (resized) p->full_dirty = true;
  // Hidden, the frame is kept but not painted; shown again, the view repaints whole.
  if (b->hidden.load()) return;
  ++p->frame;
  if (p->full_dirty || resized) whole = true;
  p->full_dirty = false;
  std::vector<cef_rect_t> all = {cef_rect_t{0, 0, width, height}};
  Deliver(b, PET_VIEW, whole ? all : dirty, whole, kDxgiB8G8R8A8, whole ? all : dirty);
}

void GpuResetAction(const Directive& d) {
  auto remove_all = NimoStandinExport<NimoStandinRemoveAllDevicesFn>("d3d11.dll", "NimoStandinRemoveAllDevices");
  auto fail_next = NimoStandinExport<NimoStandinFailNextDevicesFn>("d3d11.dll", "NimoStandinFailNextDevices");
  const long long fails = d.Int("fail_devices", 0);
  if (fail_next && fails > 0) fail_next(static_cast<UINT>(fails));
  if (remove_all) remove_all();
  Event("gpu.reset").Num("found", remove_all ? 1 : 0).Num("fail_devices", fails);
}

void PopupWidgetAction(BrowserCore* b, const Directive& d) {
  cef_render_handler_t* h = RenderHandlerOf(b);
  if (d.keyword == "popup_show") {
    const int show = static_cast<int>(d.Int("show", 1));
    const bool has = STANDIN_HAS_SLOT(h, cef_render_handler_t, on_popup_show);
    Event("cb.on_popup_show").Num("browser", b->id).Num("show", show).Num("present", has ? 1 : 0);
    if (has) h->on_popup_show(h, WrapBrowser(b, "on_popup_show"), show);
  } else {
    const cef_rect_t r = {static_cast<int>(d.Int("x", 0)), static_cast<int>(d.Int("y", 0)),
                          static_cast<int>(d.Int("width", 100)), static_cast<int>(d.Int("height", 50))};
    State(b)->popup_rect = r;
    const bool has = STANDIN_HAS_SLOT(h, cef_render_handler_t, on_popup_size);
    Event("cb.on_popup_size").Num("browser", b->id).Num("x", r.x).Num("y", r.y).Num("width", r.width)
        .Num("height", r.height).Num("present", has ? 1 : 0);
    if (has) h->on_popup_size(h, WrapBrowser(b, "on_popup_size"), &r);
  }
  ReleaseHandler(h);
}

void PaintOnClosed(BrowserCore* b) {
  PaintState* p = State(b);
  for (PoolTexture& t : p->pool) CloseHandle(t.handle);
  p->pool.clear();
  p->timer_running = false;
  // A closed browser keeps its small record but not its frame, so create/close cycles
  // do not grow the process.
  FramePixels().swap(p->pixels);
  p->history.clear();
  p->content = Content::kNone;
  Event("paint.summary").Num("browser", b->id).Num("paints", p->paints);
}

void PaintShutdown() {}

}  // namespace standin
