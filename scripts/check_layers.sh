#!/bin/sh
# Checks the direction of includes between the folders of the product and the client:
# each folder may include only itself and the folders after it in this order
#   process  bridge  surfaces  link  host  diag
# and client/ may include only host/ (for host/win_handle.h). Prints every include that
# goes another way (test code included) and exits 1 if there is one; since the order is a
# line, no two folders can include each other.
set -eu
cd "$(dirname "$0")/.."
order="process bridge surfaces link host diag"
status=0
check() {  # folder, allowed folders
  folder=$1
  allowed=$2
  [ -d "$folder" ] || return 0
  for target in $(grep -rhoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z_]+/' "$folder" \
      --include='*.h' --include='*.cpp' | sed -E 's/.*"([a-z_]+)\/$/\1/' | sort -u); do
    case " $folder $allowed " in
      *" $target "*) ;;
      *)
        status=1
        grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]+\"$target/" "$folder" \
          --include='*.h' --include='*.cpp' | sed "s/^/layering: $folder may not include $target: /"
        ;;
    esac
  done
}
below=$order
for folder in $order; do
  below=${below#"$folder"}
  check "$folder" "$below"
done
check client "host"
[ "$status" -eq 0 ] && echo "layering: ok ($order; client -> host)"
exit "$status"
