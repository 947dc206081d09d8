#!/bin/sh
# Checks the direction of includes between the folders of the product and the client:
# each folder may include only itself and the folders after it in this order
#   host  bridge  surfaces  link  host/base  host/portable  diag  protocol
# host/ itself is the process entry, the app object and the browser process, which wire the
# subsystems together; its base/ and portable/ folders are the engine interface, ownership
# types and pure decisions every subsystem builds on. protocol/ at the bottom is the one
# definition of the wire and includes nothing of ours. client/ may include only host/base/
# (for host/base/win_handle.h) and protocol/. Prints every include that goes another way (test code
# included) and exits 1 if there is one; since the order is a line, no two folders can
# include each other.
set -eu
cd "$(dirname "$0")/.."
order="host bridge surfaces link host/base host/portable diag protocol"
status=0

# The layer an include path or a file path belongs to: host/base and host/portable are
# layers of their own, every other subfolder belongs to its top folder.
layer_of() {
  case "$1" in
    host/base/*) echo host/base ;;
    host/portable/*) echo host/portable ;;
    *) echo "${1%%/*}" ;;
  esac
}

check() {  # folder, files to check (find expression), allowed layers
  folder=$1
  depth=$2
  allowed=$3
  [ -d "$folder" ] || return 0
  for file in $(find "$folder" $depth -type f \( -name '*.h' -o -name '*.cpp' \)); do
    for target in $(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]+"([a-z_]+\/[a-z_/]*[a-z_.]+)".*/\1/p' "$file"); do
      layer=$(layer_of "$target")
      case " $folder $allowed " in
        *" $layer "*) ;;
        *)
          # An include of a file of the same folder by its bare name has no folder part.
          [ "$layer" = "$target" ] && continue
          status=1
          echo "layering: $file may not include $target ($folder -> $layer)"
          ;;
      esac
    done
  done
}

below=$order
for folder in $order; do
  below=${below#"$folder"}
  below=${below# }
  case "$folder" in
    host) check host "-maxdepth 1" "$below" ;;
    *) check "$folder" "" "$below" ;;
  esac
done
check client "" "host/base protocol"
[ "$status" -eq 0 ] && echo "layering: ok ($order; client -> host/base protocol)"
exit "$status"
