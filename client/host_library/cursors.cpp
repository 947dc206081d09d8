#include "client/host_library/cursors.h"

#include <cstring>

#include "client/portable/cursor_map.h"

namespace nimo {
namespace host {

namespace {

constexpr std::uint32_t kCursorNone = 37;  // CT_NONE: the page hides the cursor

// A cursor from a BGRA picture with its alpha: a 32-bit colour bitmap and an empty mask.
HCURSOR MakeCursor(const CursorReport& r) {
  BITMAPV5HEADER header = {};
  header.bV5Size = sizeof header;
  header.bV5Width = static_cast<LONG>(r.width);
  header.bV5Height = -static_cast<LONG>(r.height);  // rows top down, as the engine gives them
  header.bV5Planes = 1;
  header.bV5BitCount = 32;
  header.bV5Compression = BI_BITFIELDS;
  header.bV5RedMask = 0x00FF0000;
  header.bV5GreenMask = 0x0000FF00;
  header.bV5BlueMask = 0x000000FF;
  header.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP color = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (color == nullptr || bits == nullptr) {
    if (color) DeleteObject(color);
    return nullptr;
  }
  std::memcpy(bits, r.pixels.data(), r.pixels.size());
  HBITMAP mask = CreateBitmap(static_cast<int>(r.width), static_cast<int>(r.height), 1, 1, nullptr);
  ICONINFO info = {};
  info.fIcon = FALSE;
  info.xHotspot = static_cast<DWORD>(r.hotspot_x < 0 ? 0 : r.hotspot_x);
  info.yHotspot = static_cast<DWORD>(r.hotspot_y < 0 ? 0 : r.hotspot_y);
  info.hbmMask = mask;
  info.hbmColor = color;
  HCURSOR cursor = mask ? reinterpret_cast<HCURSOR>(CreateIconIndirect(&info)) : nullptr;
  // The cursor keeps copies of both bitmaps.
  DeleteObject(color);
  if (mask) DeleteObject(mask);
  return cursor;
}

}  // namespace

CursorTable::~CursorTable() {
  for (Slot& s : slots_) {
    if (s.custom) DestroyCursor(s.custom);
    for (HCURSOR c : s.retired) DestroyCursor(c);
    for (HCURSOR c : s.stale) DestroyCursor(c);
  }
}

void CursorTable::Update(const CursorReport& report) {
  if (report.surface_id >= 4) return;
  // Made outside the lock: a picture of 128 x 128 takes a moment.
  HCURSOR custom = report.type == kCursorTypeCustom ? MakeCursor(report) : nullptr;
  HCURSOR unseen = nullptr;
  {
    std::lock_guard<std::mutex> hold(lock_);
    Slot& s = slots_[report.surface_id];
    if (s.custom && s.custom_handed) {
      s.retired.push_back(s.custom);
    } else {
      unseen = s.custom;
    }
    s.custom = custom;
    s.custom_handed = false;
    // A picture that could not be made shows the arrow.
    s.type = report.type == kCursorTypeCustom && custom == nullptr ? 0 : report.type;
  }
  if (unseen) DestroyCursor(unseen);
}

HCURSOR CursorTable::For(std::uint32_t surface) {
  if (surface >= 4) return LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  std::vector<HCURSOR> done;
  HCURSOR result;
  {
    std::lock_guard<std::mutex> hold(lock_);
    Slot& s = slots_[surface];
    // Replaced before the previous call: the program has set a later cursor since.
    done.swap(s.stale);
    s.stale.swap(s.retired);
    if (s.type == kCursorTypeCustom) {
      result = s.custom;
      s.custom_handed = true;
    } else if (s.type == kCursorNone) {
      result = nullptr;
    } else {
      result = LoadCursorW(nullptr, MAKEINTRESOURCEW(client::StandardCursorId(s.type)));
    }
  }
  for (HCURSOR c : done) DestroyCursor(c);
  return result;
}

std::uint32_t CursorTable::LiveCustom() const {
  std::lock_guard<std::mutex> hold(lock_);
  std::uint32_t n = 0;
  for (const Slot& s : slots_) {
    n += (s.custom ? 1 : 0) + static_cast<std::uint32_t>(s.retired.size() + s.stale.size());
  }
  return n;
}

}  // namespace host
}  // namespace nimo
