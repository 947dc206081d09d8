// The texture handles the engine duplicates into this process, per surface: the newest one
// kept (and opened on the program's device when asked), each older one closed the moment a
// newer one is announced, every one closed exactly once, all of them by CloseAll.
//
// Threads: any; every call holds the table's lock (opening a texture included, which the
// device allows from any thread).
#pragma once
#include <windows.h>
#include <d3d11_1.h>
#include <wrl/client.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "client/nimo_host.h"
#include "host/base/win_handle.h"

namespace nimo {
namespace host {

class TextureTable {
 public:
  TextureTable() = default;
  ~TextureTable() { CloseAll(); }
  TextureTable(const TextureTable&) = delete;
  TextureTable& operator=(const TextureTable&) = delete;

  void SetDevice(Microsoft::WRL::ComPtr<ID3D11Device1> device, bool open_on_arrival);

  // A FrameReady: true when `handle` is new for the surface (the previous one is closed).
  // A handle for a surface id outside 0..3 is closed at once: nothing could ever use it.
  bool OnFrame(const protocol::Report& frame);

  bool Get(std::uint32_t surface, SurfaceTexture* out, std::string* why);
  // A shader resource view of the newest texture, made once per texture.
  bool View(std::uint32_t surface, Microsoft::WRL::ComPtr<ID3D11ShaderResourceView>* out, std::string* why);
  HandleCounts Counts() const;
  void CloseAll();

 private:
  struct Slot {
    UniqueHandle handle;
    std::uint32_t width = 0, height = 0, format = 0;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
    Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> view;
    bool open_failed = false;
  };
  bool Open(Slot* slot, std::string* why);  // under the lock
  void Drop(Slot* slot);                    // under the lock

  mutable std::mutex lock_;
  Microsoft::WRL::ComPtr<ID3D11Device1> device_;
  bool open_on_arrival_ = false;
  Slot slots_[protocol::kSurfaceCount];
  HandleCounts counts_;
};

}  // namespace host
}  // namespace nimo
