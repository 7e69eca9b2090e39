#!/usr/bin/env bash
# Draws the picture at the side of the installer's welcome and finish pages,
# packaging/windows/wizard.bmp (164x314, the 24-bit BMP that NSIS takes): the skin's colours, its
# icon (res/icons/128.png) and the game's name. By hand when the icon changes (ImageMagick);
# the picture is kept in the tree, so that building the installer needs no drawing tool.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
convert -size 164x314 gradient:'#5a1f12'-'#120806' \
  \( "$here/../../res/icons/128.png" -resize 112x112 \) -gravity north -geometry +0+56 -composite \
  -font DejaVu-Serif-Bold -pointsize 20 -fill '#e4d10d' -annotate +0+186 'Drakmoor' \
  -type TrueColor BMP3:"$here/wizard.bmp"
