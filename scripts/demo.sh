#!/bin/sh
# The demo: the reference client starts nimo-webengine against the stand-in engine and GPU
# (under Wine) and prints every report as a JSON line. Surface 0 shows a module app
# (client/demo-ui) served from the UI origin https://nimo.localhost/ and laid out and run
# by headless Chromium: its button is clicked with input
# events, the page's PageMessage is printed, the client answers with a script, and frames
# before and after are saved as PNG files. When Chromium cannot start, the demo says so
# and runs the scripted session of the stand-in's own pages instead.
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

chromium=/usr/lib/chromium/chromium-headless-shell
real=1
probe=$(mktemp -d)
if ! [ -x "$chromium" ] ||
   ! timeout 20 "$chromium" --no-sandbox --user-data-dir="$probe" --dump-dom about:blank >/dev/null 2>&1; then
  real=0
fi
rm -rf "$probe"

WINEPREFIX="$build/wineprefix" /usr/lib/wine/wineserver -p 2>/dev/null || true
status=0
if [ $real = 1 ]; then
  echo "surface 0 shows client/demo-ui as https://nimo.localhost/, a real page in headless Chromium"
  cp -r client/demo-ui "$demo/ui"
  cp client/demo-real.scenario "$demo/"
  echo chromium > "$demo/pages.scenario"
  # The engine runs under Wine, which shows the host's files on drive Z:.
  ui_root="Z:$(cd "$demo/ui" && pwd)"
  (cd "$demo" && NIMO_STANDIN_JOURNAL=journal.txt NIMO_STANDIN_SCENARIO=pages.scenario \
    ../wine-run.sh nimo-client.exe --quiet-frames --ui-root="$ui_root" --url=https://nimo.localhost/ \
    demo-real.scenario) || status=$?
  # The stand-in ends its Chromium, and a watch script does when the engine is gone; this
  # is the last word, by the pid the stand-in journaled, never by name.
  grep ' chromium.started ' "$demo/journal.txt" 2>/dev/null | while read -r line; do
    pid=$(echo "$line" | sed -n 's/.* pid=\([0-9]*\).*/\1/p')
    folder=$(echo "$line" | sed -n 's/.* folder=\([^ ]*\).*/\1/p')
    if [ -n "$pid" ] && [ -d "$folder" ] && grep -q "$folder" "/proc/$pid/cmdline" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      rm -rf "$folder"
    fi
  done
else
  echo "Chromium ($chromium) cannot start here: the demo shows the stand-in's scripted pages instead."
  : > "$demo/ZUNT_WEB_TESTPAGE"   # surface 0 shows the built-in probe page
  cp client/demo.scenario "$demo/"
  cp testbed/engine/demo.scenario "$demo/pages.scenario"
  (cd "$demo" && NIMO_STANDIN_JOURNAL=journal.txt NIMO_STANDIN_SCENARIO=pages.scenario \
    ../wine-run.sh nimo-client.exe demo.scenario) || status=$?
fi
echo
echo "---- engine log ($demo/webengine.log) ----"
cat "$demo/webengine.log" 2>/dev/null || echo "(no log)"
echo
echo "frames saved in $demo/frames:"
ls -l "$demo/frames" 2>/dev/null || echo "(none)"
exit $status
