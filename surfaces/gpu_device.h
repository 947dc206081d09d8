// The process's one Direct3D 11 device: created on first need on the client's adapter
// (--nimomp-adapter-luid) or else the hardware adapter with the most dedicated video memory
// (or the system's default hardware adapter when none qualifies), kept until
// ReleaseGpuDevice and never retried after a failure or a release.
//
// Threads: the engine's UI thread only (paint callbacks and what they call).
#pragma once
#include <d3d11_1.h>
#include <wrl/client.h>

namespace nimo {

extern Microsoft::WRL::ComPtr<ID3D11Device> gpu_device;
extern Microsoft::WRL::ComPtr<ID3D11DeviceContext> gpu_context;  // every copy and flush
extern Microsoft::WRL::ComPtr<ID3D11Device1> gpu_device1;        // set: the device is ready
extern bool gpu_init_tried;

// True when gpu_device1 is available, creating the device on the first call.
bool EnsureGpuDevice();

// Lets the device go, after the surface table has let go of its textures; the browser
// process calls it after the message loop, before cef_shutdown. No device is made again.
void ReleaseGpuDevice();

}  // namespace nimo
