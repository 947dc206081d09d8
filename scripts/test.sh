#!/bin/sh
# Builds and runs every test: the portable core natively under ASan+UBSan first, then the
# Windows build under Wine (product, stand-ins, end-to-end and page-script tests), so the
# output ends with CTest's summary of the full run.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"
cmake --preset cross >/dev/null
cmake --build --preset cross -j "$jobs"
exec ctest --preset cross -j "$jobs"
