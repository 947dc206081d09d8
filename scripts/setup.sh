#!/bin/sh
# Installs what the build and the tests need on Debian, when run as root and only what
# is missing. Everything else (the Wine prefix, GoogleTest) is made by the build itself.
set -eu
PACKAGES="cmake ninja-build g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev googletest
wine64 chromium chromium-headless-shell nodejs clang-14 libclang-rt-14-dev nlohmann-json3-dev libstb-dev"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# nodejs may come from elsewhere than Debian; a working node is enough.
case " $missing " in *" nodejs "*) command -v node >/dev/null 2>&1 && missing=$(echo "$missing" | sed 's/ nodejs//') ;; esac
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "missing packages:$missing (run as root to install them)" >&2
  exit 1
fi
echo "installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends $missing
