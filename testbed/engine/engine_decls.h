// The engine's C declarations as the stand-in sees them: the product's own header, so both
// sides compile against one set of layouts.
#pragma once
#include "base/portable/engine_abi.h"
