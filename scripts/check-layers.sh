#!/usr/bin/env bash
# Fails when a source file includes a header of a layer above its own. The libraries point down
# only: base <- imaging <- docobjects <- imagefile <- ui <- app, and effects sits on imaging. A
# test folder may include its own layer and those below (and the shared test helpers); the DLLs
# build from their own folder, and a format plug-in also from the plug-in interface.
# Usage: scripts/check-layers.sh [source-root]
set -euo pipefail
ROOT=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
cd "$ROOT"

# The folders each layer may include from.
declare -A allowed=(
  [base]="base"
  [imaging]="base imaging"
  [effects]="base imaging effects"
  [docobjects]="base imaging docobjects"
  [imagefile]="base imaging docobjects imagefile"
  [ui]="base imaging docobjects imagefile ui"
  [app]="base imaging docobjects imagefile ui app"
)
layers="base imaging effects docobjects imagefile ui app dlls"

bad=0
report() {
  echo "error: $1 includes \"$2\", against the layers (see scripts/check-layers.sh)" >&2
  bad=1
}

# Lines '<file>:<included path>' of every quoted include that names a folder.
includes() {
  [ -d "$1" ] || return 0
  grep -rHo --include='*.h' --include='*.hpp' --include='*.c' --include='*.cpp' --include='*.rc' \
    -E '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"]+/[^"]+"' "$1" |
    sed -E 's/:[^"]*"([^"]+)"$/:\1/' || true
}

check() {  # folder, allowed top folders, extra allowed paths (regex)
  local folder=$1 tops=$2 extra=${3:-}
  while IFS=: read -r file path; do
    [ -n "$file" ] || continue
    # A path relative to the file (../, or one beside it): taken from the root, a test folder
    # standing for its layer.
    if [[ "$path" == ../* ]] || [ -f "$(dirname "$file")/$path" ]; then
      path=$(realpath -m --relative-to=. "$(dirname "$file")/$path")
      path=${path#tests/}
    fi
    local top=${path%%/*}
    if [[ " $tops " == *" $top "* ]]; then
      continue
    fi
    if [ -n "$extra" ] && [[ "$path" =~ $extra ]]; then
      continue
    fi
    report "$file" "$path"
  done < <(includes "$folder")
}

# The program also builds from the interfaces of its DLLs (dlls/<name>/<name>Interface.h).
dll_interfaces='^dlls/[^/]+/[^/]+Interface\.h$'
for layer in base imaging effects docobjects imagefile ui app; do
  extra=
  [ "$layer" = app ] && extra=$dll_interfaces
  check "$layer" "${allowed[$layer]}" "$extra"
  check "tests/$layer" "${allowed[$layer]} common" "$extra"
done
check tests/fuzz "${allowed[imagefile]} common"
check tests/programs "${allowed[app]} common" "$dll_interfaces"

# Each DLL from its own folder; format plug-ins also from the plug-in interface.
for dll in dlls/*/; do
  dll=${dll%/}
  [ -d "$dll" ] || continue
  check "$dll" "" "^(${dll}/|imagefile/PlugInInterface\.h$)"
done

# The plug-in interface is what plug-ins build from: it must stand on its own.
if [ -f imagefile/PlugInInterface.h ]; then
  while IFS=: read -r file path; do
    [ -n "$file" ] && report "$file" "$path"
  done < <(includes imagefile/PlugInInterface.h)
fi

[ $bad -eq 0 ] && echo "layers: every include points down"
exit $bad
