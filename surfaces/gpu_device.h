// The engine's Direct3D 11 device: made on first need on the client's adapter
// (--nimomp-adapter-luid) or else the hardware adapter with the most dedicated video memory
// (or the system's default hardware adapter when none qualifies), kept until it is lost or
// released.
//
// A device can be lost (a driver update or reset, a hang, a GPU switched off): every call
// on it fails from then on, and only a new device helps. The paint paths report every
// failed call to LostAfter and check the device once per frame (CheckRemoved); a loss is
// logged once with its reason, the device and its context are let go (the owner of the
// textures lets go of its own, surfaces/gpu_recovery.h) and MakeAgain makes a new one on
// the same adapter, enumerated afresh. A device that cannot be made is tried again only
// when its retry time has come, at most kMaxAttempts times in a row.
//
// Owner: the surface table (surfaces/surface.h) holds the process's one GpuDevice, made
// before main and never destroyed; Release, after the table has let go of its textures,
// lets the device go for good (the browser process calls it after the message loop,
// before cef_shutdown).
//
// Threads: the engine's UI thread only (paint callbacks, UI tasks, the shutdown).
#pragma once
#include <d3d11_1.h>
#include <wrl/client.h>

#include <cstdint>

namespace nimo {

class GpuDevice {
 public:
  // Attempts to make a device in a row before giving up, and the waits between them: the
  // first retry comes kFirstRetryMs after a failure, each later one twice as late, at most
  // kMaxRetryMs.
  static constexpr int kMaxAttempts = 12;
  static constexpr std::uint32_t kFirstRetryMs = 100;
  static constexpr std::uint32_t kMaxRetryMs = 2000;

  // True when the device is ready. The first call makes it; after a failure or a loss it
  // returns false until MakeAgain has made a new one.
  bool Ensure();
  // Makes a new device after a loss or a failed attempt (UI task of the recovery). True
  // when one is ready; false when this attempt failed (RetryDelayMs says when to try
  // again) or the device was released for good.
  bool MakeAgain();
  // Milliseconds to wait before the next MakeAgain, or -1 when no attempt is left.
  std::int64_t RetryDelayMs() const;

  // The device and its immediate context (every copy and flush); null while not ready.
  ID3D11Device1* device() const { return device1_.Get(); }
  ID3D11DeviceContext* context() const { return context_.Get(); }
  // Counts the devices made; a texture made under an older generation belongs to a device
  // that is gone.
  std::uint32_t generation() const { return generation_; }
  bool ready() const { return device1_ != nullptr; }
  // Whether the device was lost and no new one is ready yet.
  bool lost() const { return lost_; }
  // Whether Release was called.
  bool released() const { return released_; }

  // After a failed call (`hr`) on the device: true when it means the device is lost (a
  // device-loss code, or the device's removed reason says so). The first time, the loss
  // is logged with its reason and `what`, and the device is let go.
  bool LostAfter(HRESULT hr, const char* what);
  // The once-per-frame check after a frame's calls that return nothing (copies, uploads,
  // Flush): true when the device is lost (then as LostAfter).
  bool CheckRemoved(const char* what);

  // Lets the device go for good. No device is made again.
  void Release();

 private:
  bool Make();
  void MarkLost(HRESULT reason, const char* what);

  Microsoft::WRL::ComPtr<ID3D11Device> device_;
  Microsoft::WRL::ComPtr<ID3D11Device1> device1_;  // set: the device is ready
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context_;
  std::uint32_t generation_ = 0;
  bool tried_ = false;     // the first attempt was made
  bool lost_ = false;      // lost, or a recovery attempt failed: MakeAgain is due
  bool released_ = false;  // Release was called: nothing is made again
  int failed_attempts_ = 0;  // in a row, since the last ready device
};

}  // namespace nimo
