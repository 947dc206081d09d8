// Each surface's own shared texture: B8G8R8A8, made on the process's GPU device with an
// NT handle, that handle duplicated into the client process, and made anew whenever the
// frames change size. The client learns each new handle value from the next FrameReady;
// every handle duplicated into the client is the client's to close.
//
// Threads: the engine's UI thread only.
#pragma once
#include <windows.h>

#include "base/win_handle.h"

namespace nimo {

struct Surface;

// The client process, opened for handle duplication from --nimomp-clientpid before the
// engine starts; none when no client id was given or it could not be opened. Written once
// by the main thread before any other thread exists, read on the UI thread afterwards, and
// closed by the browser process after the message loop, before cef_shutdown.
extern UniqueHandle client_process;

// True when the surface has a texture of exactly width x height, made now or earlier.
// A new texture sets full_copy_pending; its client_handle stays 0 when the duplication
// into the client failed or there is no client_process: paints
// then land in it unseen.
bool EnsureSurfaceTexture(Surface* surface, int width, int height);

// Drops the surface's texture and its handle in this process, forgets the client's handle
// value (the client closes its own) and the page's popup. full_copy_pending keeps its
// value. Called when the surface's browser closes.
void ReleaseSurfaceTexture(Surface* surface);

}  // namespace nimo
