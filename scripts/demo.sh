#!/bin/sh
# The demo: the reference client starts nimo-webengine against the stand-in engine and GPU
# (under Wine), drives a short scripted session, prints every report as a JSON line, saves
# a few frames of the probe page as PNG files and shows the engine's log.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake --preset cross >/dev/null
build=build/cross
echo "building the engine, the reference client and the stand-ins ..."
cmake --build --preset cross -j "$(nproc 2>/dev/null || echo 2)" \
  --target nimo-webengine nimo-client dezor2 nimo_d3d11 nimo_dxgi >"$build/demo-build.log" 2>&1 ||
  { cat "$build/demo-build.log"; exit 1; }
demo=$build/demo
rm -rf "$demo"
mkdir -p "$demo"
for f in nimo-webengine.exe nimo-client.exe dezor2.dll d3d11.dll dxgi.dll; do
  cp "$build/bin/$f" "$demo/"
done
: > "$demo/ZUNT_DEBUG"          # turns the engine's log on
: > "$demo/ZUNT_WEB_TESTPAGE"   # surface 0 shows the built-in probe page
cp client/demo.scenario "$demo/"
cp testbed/engine/demo.scenario "$demo/pages.scenario"
WINEPREFIX="$build/wineprefix" /usr/lib/wine/wineserver -p 2>/dev/null || true
status=0
(cd "$demo" && NIMO_STANDIN_JOURNAL=journal.txt NIMO_STANDIN_SCENARIO=pages.scenario ../wine-run.sh nimo-client.exe demo.scenario) || status=$?
echo
echo "---- engine log ($demo/webengine.log) ----"
cat "$demo/webengine.log" 2>/dev/null || echo "(no log)"
echo
echo "frames saved in $demo/frames:"
ls -l "$demo/frames" 2>/dev/null || echo "(none)"
exit $status
