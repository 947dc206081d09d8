#include "surfaces/surface_texture.h"

#include <d3d11_1.h>
#include <dxgi1_2.h>

#include <cstdint>
#include <utility>

#include "diag/log.h"
#include "surfaces/frame_ring_slots.h"
#include "surfaces/gpu_check.h"
#include "surfaces/gpu_device.h"
#include "surfaces/popup.h"
#include "surfaces/surface.h"

namespace nimo {

UniqueHandle client_process;

namespace {

// Both processes may read and write the shared texture.
constexpr DWORD kSharedAccess = DXGI_SHARED_RESOURCE_READ | DXGI_SHARED_RESOURCE_WRITE;

}  // namespace

bool SurfaceTexture::Ensure(GpuDevice& gpu, int width, int height, bool* made) {
  if (made) *made = false;
  if (width < 1 || height < 1) return false;
  if (texture_ && gpu.ready() && generation_ == gpu.generation() && width_ == static_cast<std::uint32_t>(width) &&
      height_ == static_cast<std::uint32_t>(height))
    return true;
  if (!gpu.Ensure()) return false;  // an old texture, if any, stays

  texture_.Reset();
  shared_handle_.reset();
  client_handle_ = 0;
  if (made) *made = true;
  const CD3D11_TEXTURE2D_DESC desc(DXGI_FORMAT_B8G8R8A8_UNORM, static_cast<UINT>(width), static_cast<UINT>(height),
                                   1, 1, D3D11_BIND_SHADER_RESOURCE, D3D11_USAGE_DEFAULT, 0, 1, 0,
                                   D3D11_RESOURCE_MISC_SHARED | D3D11_RESOURCE_MISC_SHARED_NTHANDLE);
  Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
  const HRESULT created = gpu.device()->CreateTexture2D(&desc, nullptr, &texture);
  if (NIMO_GPU_FAILED(created, "CreateTexture2D(shared)") || !texture) {
    gpu.LostAfter(created, "CreateTexture2D(shared)");
    return false;
  }

  UniqueHandle shared;
  Microsoft::WRL::ComPtr<IDXGIResource1> resource;
  const HRESULT as_resource = texture.As(&resource);
  if (NIMO_GPU_FAILED(as_resource, "QueryInterface(IDXGIResource1)") || !resource) return false;
  const HRESULT share = resource->CreateSharedHandle(nullptr, kSharedAccess, nullptr, shared.receive());
  if (NIMO_GPU_FAILED(share, "CreateSharedHandle") || !shared) {
    gpu.LostAfter(share, "CreateSharedHandle");
    return false;
  }
  texture_ = std::move(texture);
  shared_handle_ = std::move(shared);
  width_ = static_cast<std::uint32_t>(width);
  height_ = static_cast<std::uint32_t>(height);
  generation_ = gpu.generation();
  full_copy_pending_ = true;

  // With a frame ring the client reads the slots only; this texture stays the engine's.
  if (client_process && !FrameRingActive()) {
    HANDLE in_client = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), shared_handle_.get(), client_process.get(), &in_client, 0, FALSE,
                        DUPLICATE_SAME_ACCESS) &&
        in_client) {
      client_handle_ = reinterpret_cast<std::uintptr_t>(in_client);
    } else {
      WriteLog("[nimo-webengine][gpu] DuplicateHandle into the client FAILED err=%p\n", GetLastError());
    }
  }
  WriteLog("[nimo-webengine][gpu] surface texture ready (clientHandle=%p)\n", client_handle_);
  return true;
}

void SurfaceTexture::Release() {
  texture_.Reset();
  shared_handle_.reset();
  client_handle_ = 0;
  width_ = 0;
  height_ = 0;
}

bool EnsureSurfaceTexture(Surface* s, int width, int height) {
  if (!s) return false;
  bool made = false;
  const bool ok = s->texture.Ensure(surfaces.gpu, width, height, &made);
  if (made) ForgetPopupDrawing(s);  // it was drawn into the texture that went
  return ok;
}

void ReleaseSurfaceTexture(Surface* s) {
  if (!s) return;
  DropPopup(s);
  ForgetPopupDrawing(s);
  s->texture.Release();
}

}  // namespace nimo
