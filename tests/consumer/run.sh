#!/bin/sh
# The embedder's view, run by the test command after the cross build:
#  1. the release archive is made and holds exactly the install tree, nothing of the tests;
#  2. the consumer program is built with find_package against a `cmake --install` prefix
#     (nothing of the build tree on its compile or link lines), and again with the
#     repository as a subdirectory (no tests, no GoogleTest, no warnings);
#  3. both programs run under Wine beside the stand-in engine and GPU and show a page served
#     from a UI folder, answered through window.mp.
# Usage: run.sh <repository> <cross build tree> <version>
set -eu
repo=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
version=$3
work=$build/consumer
rm -rf "$work"
mkdir -p "$work"
generator_args="-G Ninja -DCMAKE_TOOLCHAIN_FILE=$repo/cmake/mingw-w64-x86_64.cmake"
fail() { echo "consumer: $*" >&2; exit 1; }

# 1. The archive.
cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack failed"; }
zip=$work/package/nimo-webengine-$version-win64.zip
[ -f "$zip" ] || fail "no $zip"
top=nimo-webengine-$version-win64
cmake -E tar tf "$zip" | grep -v '/$' | sort >"$work/archive.txt"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
(cd "$work/prefix" && find . -type f | sed "s|^\./|$top/|" | sort) >"$work/prefix.txt"
diff "$work/prefix.txt" "$work/archive.txt" || fail "the archive is not the install tree"
for file in DEPLOY.md bin/nimo-webengine.exe include/nimo/nimo_host.h include/nimo/nimo_protocol.h \
    lib/libnimo_host.a lib/libnimo_core.a lib/cmake/nimo-webengine/nimo-webengine-config.cmake \
    lib/cmake/nimo-webengine/nimo-webengine-config-version.cmake lib/cmake/nimo-webengine/nimo-webengine-targets.cmake; do
  grep -qx "$top/$file" "$work/archive.txt" || fail "the archive lacks $file"
done
# Nothing but the engine, the headers, the libraries and the package: no stand-in, no test.
unexpected=$(grep -v -E "^$top/(DEPLOY\.md|bin/nimo-webengine\.exe|include/nimo/.*\.h|lib/libnimo_(host|core)\.a|lib/cmake/nimo-webengine/nimo-webengine-[a-z-]*\.cmake)$" "$work/archive.txt" || true)
[ -z "$unexpected" ] || fail "the archive holds more: $unexpected"
echo "consumer: archive $(basename "$zip"), $(wc -l <"$work/archive.txt") files"

# 2. The two builds, with no build type: the quickest compile, which is all this needs.
# shellcheck disable=SC2086
cmake -S "$repo/tests/consumer" -B "$work/found" $generator_args -DCMAKE_PREFIX_PATH="$work/prefix" \
  >"$work/found.log" 2>&1 || { cat "$work/found.log"; fail "configuring with find_package failed"; }
cmake --build "$work/found" >>"$work/found.log" 2>&1 || { cat "$work/found.log"; fail "building with find_package failed"; }
if grep -o "$build/[^ \"]*" "$work/found/build.ninja" | grep -v "^$work/" >"$work/leak.txt"; then
  fail "the find_package build uses the build tree: $(head -3 "$work/leak.txt")"
fi
# shellcheck disable=SC2086
cmake -S "$repo/tests/consumer" -B "$work/sub" $generator_args -DNIMO_SOURCE="$repo" \
  >"$work/sub.log" 2>&1 || { cat "$work/sub.log"; fail "configuring with add_subdirectory failed"; }
if grep -i -E "warning|gtest|googletest" "$work/sub.log"; then fail "the subdirectory configure warned or found tests"; fi
cmake --build "$work/sub" -j "${NIMO_CONSUMER_JOBS:-2}" >>"$work/sub.log" 2>&1 || { cat "$work/sub.log"; fail "building with add_subdirectory failed"; }
[ ! -e "$work/sub/nimo-webengine/googletest" ] || fail "the subdirectory build made GoogleTest"
echo "consumer: built with find_package and with add_subdirectory"

# 3. Both programs under Wine, beside the stand-ins, on a UI folder served as
# https://nimo.localhost/: a module script that waits for window.mp, sends, and answers.
for variant in found sub; do
  dir=$work/$variant
  [ -f "$dir/nimo-webengine.exe" ] || fail "$variant: no nimo-webengine.exe beside the program"
  cp "$build/bin/dezor2.dll" "$build/bin/d3d11.dll" "$build/bin/dxgi.dll" "$dir/"
  mkdir -p "$dir/ui"
  cat >"$dir/ui/index.html" <<'HTML'
<!doctype html>
<html><head><script type="module" src="/app/main.js"></script></head>
<body style="margin:0;background:rgb(32,96,160)"></body></html>
HTML
  mkdir -p "$dir/ui/app"
  cat >"$dir/ui/app/main.js" <<'JS'
function whenBridge() {
  return new Promise((resolve) => (function poll() {
    if (window.mp && window.mp.events) resolve(window.mp); else setTimeout(poll, 10);
  })());
}
const mp = await whenBridge();
mp.events.add("shown", (text, number) => console.log("answer " + text + " " + number));
mp.trigger("ready", { origin: location.origin });
JS
  : >"$dir/ZUNT_DEBUG"
  if ! NIMO_STANDIN_CHROMIUM=1 "$build/wine-run.sh" --capture "$dir/consumer.exe" >"$dir/run.log" 2>&1; then
    cat "$dir/run.log"
    [ -f "$dir/webengine.log" ] && tail -20 "$dir/webengine.log"
    fail "$variant: the program did not show the page"
  fi
  cat "$dir/run.log"
done
echo "consumer: ok"
