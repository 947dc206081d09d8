// The reference client's frames: makes the Direct3D 11 device the host library opens the
// engine's textures on, and writes a surface's newest texture as a PNG (copied into a
// staging texture, mapped, premultiplied pixels over black). Plain Direct3D 11 on the
// default hardware adapter, so it runs unchanged on Windows.
//
// Threads: the client's main thread.
#pragma once
#include <d3d11_1.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>

#include "client/nimo_host.h"

namespace nimo {
namespace client {

class FrameSaver {
 public:
  // Makes the device; when that fails, the reason is kept and every Save reports it.
  FrameSaver();
  Microsoft::WRL::ComPtr<ID3D11Device1> device() const { return device1_; }

  // Writes the newest frame of `surface` to `path` (folders are created). False with a
  // reason when there is no frame yet or any step fails.
  bool Save(host::Host& host, std::uint32_t surface, const std::string& path, std::string* error);

 private:
  std::string device_error_;
  Microsoft::WRL::ComPtr<ID3D11Device> device_;
  Microsoft::WRL::ComPtr<ID3D11Device1> device1_;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context_;
};

}  // namespace client
}  // namespace nimo
