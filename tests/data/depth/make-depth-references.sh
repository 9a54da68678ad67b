#!/usr/bin/env bash
# Rebuilds the reference pictures of the depth tests with ImageMagick.
# flatten-input.rgba: 16 x 16, top row first, bytes R,G,B,A; pixel (x, y) has
#   R = 255 - 8x, G = 16y + 8, B = 16x + 4, A = x + 16y (every alpha value once).
# flatten-white.rgb: the same composited over white by ImageMagick, bytes R,G,B.
set -euo pipefail
cd "$(dirname "$0")"
python3 - <<'PY'
with open("flatten-input.rgba", "wb") as f:
    for y in range(16):
        for x in range(16):
            f.write(bytes([255 - 8 * x, 16 * y + 8, 16 * x + 4, x + 16 * y]))
PY
convert -size 16x16 -depth 8 rgba:flatten-input.rgba -background white -flatten \
  -depth 8 rgb:flatten-white.rgb
