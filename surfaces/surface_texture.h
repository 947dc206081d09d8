// Each surface's own shared texture: B8G8R8A8, made on the engine's GPU device with an NT
// handle, that handle duplicated into the client process, and made anew whenever the
// frames change size or the device it was made on is gone. The client learns each new
// handle value from the next FrameReady; every handle duplicated into the client is the
// client's to close.
//
// Threads: the engine's UI thread only.
#pragma once
#include <windows.h>
#include <d3d11.h>
#include <wrl/client.h>

#include <cstdint>

#include "base/win_handle.h"

namespace nimo {

struct Surface;
class GpuDevice;

// The client process, opened for handle duplication from --nimomp-clientpid before the
// engine starts; none when no client id was given or it could not be opened. Written once
// by the main thread before any other thread exists, read on the UI thread afterwards, and
// closed by the browser process after the message loop, before cef_shutdown.
extern UniqueHandle client_process;

// The texture, its handles, its size and whether the next accelerated paint must copy the
// whole frame. The one place that writes them; the paint paths and the popup layer ask.
// Owner: the surface's record (surfaces/surface.h); Release lets everything go.
class SurfaceTexture {
 public:
  // True when there is a texture of exactly width x height on the device's current
  // generation, made now or earlier. A new texture asks for a full copy; its client handle
  // stays 0 when the duplication into the client failed or there is no client_process
  // (paints then land in it unseen). Without a ready device an older texture, if any,
  // stays; a failure to make the new one leaves none.
  // `made`: set when a new texture was made (the caller forgets what it drew into the old).
  bool Ensure(GpuDevice& gpu, int width, int height, bool* made);
  // Lets the texture and its handle in this process go, forgets the client's handle value
  // (the client closes its own) and the size. The full-copy flag keeps its value.
  void Release();

  ID3D11Texture2D* get() const { return texture_.Get(); }
  explicit operator bool() const { return texture_ != nullptr; }
  HANDLE shared_handle() const { return shared_handle_.get(); }  // in this process
  std::uint64_t client_handle() const { return client_handle_; }  // 0: not shared
  std::uint32_t width() const { return width_; }
  std::uint32_t height() const { return height_; }
  // The GPU generation it was made under (GpuDevice::generation).
  std::uint32_t generation() const { return generation_; }

  bool full_copy_pending() const { return full_copy_pending_; }
  void RequestFullCopy() { full_copy_pending_ = true; }
  void FullCopyDone() { full_copy_pending_ = false; }

 private:
  Microsoft::WRL::ComPtr<ID3D11Texture2D> texture_;
  UniqueHandle shared_handle_;      // NT handle of `texture_` in this process
  std::uint64_t client_handle_ = 0; // that handle duplicated into the client; 0 when not shared
  std::uint32_t width_ = 0;
  std::uint32_t height_ = 0;
  std::uint32_t generation_ = 0;
  bool full_copy_pending_ = true;   // next accelerated paint copies the whole frame
};

// The surface's texture at width x height on the engine's device (made when needed, see
// SurfaceTexture::Ensure); a new texture also forgets where the popup was drawn.
bool EnsureSurfaceTexture(Surface* surface, int width, int height);

// Drops the surface's texture and its handle in this process, forgets the client's handle
// value (the client closes its own) and the page's popup. The full-copy flag keeps its
// value. Called when the surface's browser closes.
void ReleaseSurfaceTexture(Surface* surface);

}  // namespace nimo
