// The texture handles the engine duplicates into this process, per surface: the newest one
// kept (and opened on the program's device when asked), each older one closed the moment a
// newer one is announced, every one closed exactly once, all of them by CloseAll. A
// texture that fails to open is tried again when the next frame of its surface arrives or
// the device changes; the failure is reported once per surface until an open succeeds.
//
// Threads: any; every call holds the table's lock (opening a texture and making its view
// included, which the device allows from any thread). Owned by HostState.
#pragma once
#include <windows.h>
#include <d3d11_1.h>
#include <wrl/client.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/win_handle.h"
#include "client/nimo_host.h"

namespace nimo {
namespace host {

// A failed open the program has not been told of yet.
struct TextureFailure {
  std::uint32_t surface = 0;
  std::string error;
};

class TextureTable {
 public:
  TextureTable() = default;
  ~TextureTable() { CloseAll(); }
  TextureTable(const TextureTable&) = delete;
  TextureTable& operator=(const TextureTable&) = delete;

  // Releases every texture and view opened on the previous device; with open_on_arrival
  // the held handles are opened on `device` at once, else on the next Get.
  void SetDevice(Microsoft::WRL::ComPtr<ID3D11Device1> device, bool open_on_arrival,
                 std::vector<TextureFailure>* failures);

  // A FrameReady: true when `handle` is new for the surface (the previous one is closed).
  // A handle for a surface id outside 0..3 is closed at once: nothing could ever use it.
  bool OnFrame(const protocol::Report& frame, std::vector<TextureFailure>* failures);

  bool Get(std::uint32_t surface, SurfaceTexture* out, std::string* why, std::vector<TextureFailure>* failures);
  HandleCounts Counts() const;
  void CloseAll();

 private:
  struct Slot {
    UniqueHandle handle;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
    Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> view;
    bool open_failed = false;  // not tried again until the next frame or device
    std::string error;         // why it failed
  };
  bool Open(std::uint32_t surface, std::string* why, std::vector<TextureFailure>* failures);  // under the lock
  void Drop(Slot* slot);                                                                       // under the lock

  mutable std::mutex lock_;
  Microsoft::WRL::ComPtr<ID3D11Device1> device_;
  bool open_on_arrival_ = false;
  Slot slots_[kSurfaceSlotCount];
  bool failure_reported_[kSurfaceSlotCount] = {};
  HandleCounts counts_;
};

}  // namespace host
}  // namespace nimo
