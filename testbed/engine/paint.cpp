#include "testbed/engine/paint.h"

#include "testbed/engine/browser.h"

namespace standin {

void PaintOnCreated(BrowserCore*) {}
void PaintOnNavigated(BrowserCore*, const std::string&) {}
void PaintOnBeginFrame(BrowserCore*) {}
void PaintOnInvalidate(BrowserCore*, int) {}
void PaintOnResized(BrowserCore*) {}
void PaintOnFrameRate(BrowserCore*) {}
void PaintAction(BrowserCore*, const Directive&) {}
void PaintOnClosed(BrowserCore*) {}
void PaintShutdown() {}

}  // namespace standin
