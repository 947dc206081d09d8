// Paints: CPU buffers through on_paint, or textures of the stand-in GPU through
// on_accelerated_paint (as window_info.shared_texture_enabled asks), driven by
// send_external_begin_frame when external begin frames are enabled, else by a timer at
// the browser's frame rate; contents from the scenario's paint actions, or the moving
// square of the probe page.
//
// Threads: UI thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "testbed/engine/engine_decls.h"
#include "testbed/engine/frame_memory.h"

namespace standin {

struct BrowserCore;
struct Directive;

void PaintOnCreated(BrowserCore* browser);
void PaintOnNavigated(BrowserCore* browser, const std::string& url);
void PaintOnBeginFrame(BrowserCore* browser);
void PaintOnInvalidate(BrowserCore* browser, int type);
void PaintOnResized(BrowserCore* browser);
void PaintOnShown(BrowserCore* browser);
void PaintOnFrameRate(BrowserCore* browser);
void PaintAction(BrowserCore* browser, const Directive& action);
// `popup_show [show=0]` and `popup_size x= y= width= height=`: a popup widget (an open
// select list) opens, closes or takes its place, announced to the render handler. As in
// the engine, nothing under a closed popup is repainted unless the product asks.
void PopupWidgetAction(BrowserCore* browser, const Directive& action);
// `gpu_reset [fail_devices=N]`: every Direct3D device of this process is lost at once, as
// after a driver reset (the stand-in GPU's NimoStandinRemoveAllDevices), and the next N
// device creations fail; journaled as `gpu.reset found fail_devices`.
void GpuResetAction(const Directive& action);
void PaintOnClosed(BrowserCore* browser);
// A real page's frame (Chromium mode): becomes the current frame and is painted with
// `dirty` as its changed rectangles (`whole`: everything changed).
void PaintRealFrame(BrowserCore* browser, int width, int height, FramePixels pixels,
                    const std::vector<cef_rect_t>& dirty, bool whole);
void PaintShutdown();

}  // namespace standin
