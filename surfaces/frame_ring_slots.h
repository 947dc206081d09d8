// The frame ring of a protocol-3 session that asked for one (--nimomp-frame-ring=<2..4>):
// each surface gets N shared slot textures besides its own texture, which stays the
// engine's and is no longer handed to the client. Every finished frame (a paint of either
// path, a popup drawn over the view) is copied on the GPU from the surface's texture into a
// free slot; the process's shared fence is signalled after the copy and the FrameReady3
// names the value it reaches then. A slot is held from its FrameReady3 until the client's
// FrameRelease. With every slot held the surface's own texture keeps the newest frame, and
// the first release delivers it. Nothing here waits, neither for the client nor for the GPU.
// The slot decisions are surfaces/portable/frame_ring.h.
//
// Threads: the engine's UI thread only, except ConfigureFrameRing (main thread, before the
// engine runs) and FrameRingActive (any thread; the value never changes once configured).
#pragma once
#include <d3d11.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>

#include "base/win_handle.h"
#include "surfaces/portable/frame_ring.h"

namespace nimo {

struct Surface;

// One slot's texture: made on the process's device at the surface's size, shared by an NT
// handle duplicated into the client (the client's to close once a FrameReady3 told it).
struct RingSlotTexture {
  Microsoft::WRL::ComPtr<ID3D11Texture2D> texture;
  UniqueHandle shared_handle;
  std::uint64_t client_handle = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t device_generation = 0;  // GpuDevice::generation it was made under
};

// A surface's ring, part of its record (surfaces/surface.h). Its slot textures go with the
// surface's browser; the holds and the frame numbers stay with the record.
struct SurfaceRing {
  FrameRing slots;
  RingSlotTexture textures[kMaxRingSlots];
  std::uint32_t format = 0;  // of the waiting frame, as FrameReady says it
};

// Turns the ring on for a link of `protocol_version` when `switch_value` (the value of
// --nimomp-frame-ring, empty when absent) asks for one; a ring asked for without protocol
// 3, or of a size outside 2..4, is ignored with one log line. Main thread, once.
void ConfigureFrameRing(std::uint32_t protocol_version, const std::string& switch_value);
bool FrameRingActive();

// A frame of `surface` is complete in its own texture: numbered, and copied into a free
// slot and announced, or kept waiting. `paint_time`: the performance counter when the
// paint callback was entered. `format` as FrameReady's.
void RingFramePainted(Surface* surface, std::uint32_t format, std::int64_t paint_time);

// The client's FrameRelease (a UI task): frees the slot, then delivers a waiting frame.
// Ignored for an id out of range or a slot not held.
void ReleaseRingSlot(std::uint32_t surface_id, std::uint32_t slot);

// The surface's browser closed (or the table is let go): its slot textures and their
// handles in this process go, a waiting frame is forgotten.
void ReleaseSurfaceRing(Surface* surface);

// The engine's device was lost: every slot texture and the fence go with it (holds stay
// until released, a waiting frame is forgotten: the page is asked for a whole one). The
// next frame on the new device announces a new fence and new slot textures.
void DropFrameRingDevice();

// Lets go of the fence and the slot textures; before the device goes.
void ReleaseFrameRing();

}  // namespace nimo
