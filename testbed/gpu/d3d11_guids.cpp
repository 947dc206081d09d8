// The interface ids of the newer Direct3D 11 interfaces, which the toolchain's dxguid
// library does not carry: defined here once (selectany, so ids dxguid has do not clash).
#include "testbed/gpu/gpu_common.h"

#include <initguid.h>

#include <d3d11_4.h>
