#include "surfaces/surface_texture.h"

#include <d3d11_1.h>
#include <dxgi1_2.h>

#include <cstdint>
#include <utility>

#include "diag/log.h"
#include "surfaces/frame_ring_slots.h"
#include "surfaces/gpu_device.h"
#include "surfaces/popup.h"
#include "surfaces/surface.h"

namespace nimo {

UniqueHandle client_process;

namespace {

// Both processes may read and write the shared texture.
constexpr DWORD kSharedAccess = DXGI_SHARED_RESOURCE_READ | DXGI_SHARED_RESOURCE_WRITE;

void DropTexture(Surface* s) {
  ForgetPopupDrawing(s);  // it was drawn into the texture that goes
  s->texture.Reset();
  s->shared_handle.reset();
  s->client_handle = 0;
}

}  // namespace

bool EnsureSurfaceTexture(Surface* s, int width, int height) {
  if (!s || width < 1 || height < 1) return false;
  if (s->texture && s->texture_width == static_cast<std::uint32_t>(width) &&
      s->texture_height == static_cast<std::uint32_t>(height))
    return true;
  if (!EnsureGpuDevice()) return false;  // an old texture, if any, stays

  DropTexture(s);
  const CD3D11_TEXTURE2D_DESC desc(DXGI_FORMAT_B8G8R8A8_UNORM, static_cast<UINT>(width), static_cast<UINT>(height),
                                   1, 1, D3D11_BIND_SHADER_RESOURCE, D3D11_USAGE_DEFAULT, 0, 1, 0,
                                   D3D11_RESOURCE_MISC_SHARED | D3D11_RESOURCE_MISC_SHARED_NTHANDLE);
  Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
  if (FAILED(gpu_device1->CreateTexture2D(&desc, nullptr, &texture)) || !texture) {
    WriteLog("[nimo-webengine][gpu] CreateTexture2D(shared) FAILED\n");
    return false;
  }

  UniqueHandle shared;
  Microsoft::WRL::ComPtr<IDXGIResource1> resource;
  if (FAILED(texture.As(&resource)) || !resource ||
      FAILED(resource->CreateSharedHandle(nullptr, kSharedAccess, nullptr, shared.receive())) ||
      !shared) {
    return false;
  }
  s->texture = std::move(texture);
  s->shared_handle = std::move(shared);
  s->texture_width = static_cast<std::uint32_t>(width);
  s->texture_height = static_cast<std::uint32_t>(height);
  s->full_copy_pending = 1;

  // With a frame ring the client reads the slots only; this texture stays the engine's.
  if (client_process && !FrameRingActive()) {
    HANDLE in_client = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), s->shared_handle.get(), client_process.get(), &in_client, 0, FALSE, DUPLICATE_SAME_ACCESS) &&
        in_client) {
      s->client_handle = reinterpret_cast<std::uintptr_t>(in_client);
    } else {
      WriteLog("[nimo-webengine][gpu] DuplicateHandle into the client FAILED err=%p\n", GetLastError());
    }
  }
  WriteLog("[nimo-webengine][gpu] surface texture ready (clientHandle=%p)\n", s->client_handle);
  return true;
}

void ReleaseSurfaceTexture(Surface* s) {
  if (!s) return;
  DropPopup(s);
  DropTexture(s);
  s->texture_width = 0;
  s->texture_height = 0;
}

}  // namespace nimo
