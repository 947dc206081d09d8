// The frame ring's side in the host library (protocol 3, StartOptions::frame_ring): the
// slot textures and the fence the engine duplicates into this process, per surface and
// slot, and which slots the program still reads. The library keeps every slot the engine
// announced until it is neither the surface's newest frame nor leased by the program, and
// only then sends FrameRelease; so the engine always has the newest frame at hand for
// AcquireFrame and is never kept from writing by a frame nobody reads. A leased slot goes
// back only once the program's GPU has finished what was queued before ReleaseFrame (a
// fence of the program's own, signalled on its context): a draw still waiting on the GPU
// never sees the engine's next copy.
//
// Threads: any; every call holds the table's own lock (opening textures and the fence on
// the device included, which the device allows from any thread). AcquireFrame's wait is
// queued on the device's immediate context, so Acquire belongs on the thread that draws
// with it. Owned by HostState, made and destroyed with it; CloseAll at Shutdown.
#pragma once
#include <windows.h>
#include <d3d11_4.h>
#include <wrl/client.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/win_handle.h"
#include "client/nimo_host.h"
#include "protocol/frame_ring.h"

namespace nimo {
namespace host {

// A slot the engine may write again: FrameRelease{surface, slot} is due.
struct SlotRelease {
  std::uint32_t surface = 0;
  std::uint32_t slot = 0;
};

class FrameLeaseTable {
 public:
  FrameLeaseTable() = default;
  ~FrameLeaseTable() { CloseAll(); }
  FrameLeaseTable(const FrameLeaseTable&) = delete;
  FrameLeaseTable& operator=(const FrameLeaseTable&) = delete;

  // Textures, views and the fence opened on the previous device are let go; they are
  // opened again on `device` at the next Acquire.
  void SetDevice(Microsoft::WRL::ComPtr<ID3D11Device1> device);
  // FrameFence: the new fence's handle replaces (and closes) the previous one.
  void OnFence(std::uint64_t handle);
  // FrameReady3: true when the slot's texture is new. The slot becomes the surface's
  // newest frame; the previous newest, if nothing leases it, is added to `releases`.
  bool OnFrame(const protocol::Report& frame, std::vector<SlotRelease>* releases);
  // The newest frame of `surface`, its texture opened on the device, with a GPU wait for
  // its copy queued on the device's immediate context; leased until Release.
  bool Acquire(std::uint32_t surface, FrameLease* lease, std::string* why);
  // Ends a lease (`lease` is emptied): signals the program's fence on the device's
  // immediate context, which belongs to the calling thread, and flushes it. False for a
  // lease that was not held.
  bool Release(FrameLease* lease);
  // Adds every slot that may go back to the engine now to `releases`.
  void CollectDue(std::vector<SlotRelease>* releases);
  // Handles held now (slot textures and fence) and releases sent.
  std::uint32_t open_handles() const;
  void CloseAll();

 private:
  struct Slot {
    UniqueHandle handle;
    Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
    Microsoft::WRL::ComPtr<ID3D11ShaderResourceView> view;
    protocol::Report frame;  // the FrameReady3 that announced what the slot holds
    bool delivered = false;  // announced and not released: the engine keeps it for us
    std::uint32_t leases = 0;
    std::uint64_t gpu_done = 0;  // the program's fence value after its last use of the slot
    std::uint32_t fence_generation = 0;  // fence_generation_ when the frame was announced
  };
  struct SurfaceSlots {
    Slot slots[kFrameRingMax];
    int newest = -1;
  };
  bool OpenFence(std::string* why);  // under the lock
  // Whether the slot may go back to the engine now (`completed`: the program's fence);
  // marks it released.
  static bool ReleaseDue(SurfaceSlots& s, std::uint32_t slot, std::uint64_t completed);
  void CollectDueLocked(std::vector<SlotRelease>* releases);
  std::uint64_t DoneValue() const;  // under the lock

  mutable std::mutex lock_;
  Microsoft::WRL::ComPtr<ID3D11Device1> device_;
  UniqueHandle fence_handle_;
  // One up per FrameFence: a frame announced under an older fence came from a device the
  // engine has since lost, whose fence may never reach the frame's value.
  std::uint32_t fence_generation_ = 0;
  Microsoft::WRL::ComPtr<ID3D11Fence> fence_;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext4> context_;
  // The program's own fence, made on first release (none where the device has no fences:
  // slots then go back at once).
  Microsoft::WRL::ComPtr<ID3D11Fence> done_fence_;
  std::uint64_t done_value_ = 0;
  bool done_fence_tried_ = false;
  SurfaceSlots surfaces_[kSurfaceSlotCount];
};

}  // namespace host
}  // namespace nimo
