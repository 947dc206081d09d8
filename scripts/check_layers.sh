#!/bin/sh
# Checks the direction of includes between the folders of the product and the client:
# each folder may include only itself and the folders after it in this order
#   host  bridge  surfaces  link  base  base/portable  diag  protocol
# host/ is the process entry, the app object and the browser process, which wire the
# subsystems together (its portable/ folder is part of it). base/ and base/portable/ are the
# engine interface, ownership types and pure decisions every subsystem builds on. protocol/
# at the bottom is the one definition of the wire and includes nothing of ours. client/ may
# include only base/ (for base/win_handle.h) and protocol/. Prints every include that goes
# another way (test code included) and exits 1 if there is one; since the order is a line,
# no two folders can include each other.
set -eu
cd "$(dirname "$0")/.."
order="host bridge surfaces link base base/portable diag protocol"
status=0

# The layer an include path or a file path belongs to: base/portable is a layer of its own,
# every other subfolder belongs to its top folder.
layer_of() {
  case "$1" in
    base/portable/*) echo base/portable ;;
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
    base) check base "-maxdepth 1" "$below" ;;
    *) check "$folder" "" "$below" ;;
  esac
done
check client "" "base protocol"
[ "$status" -eq 0 ] && echo "layering: ok ($order; client -> base protocol)"
exit "$status"
