#!/bin/sh
# Remakes the program's own artwork with ImageMagick: the icon (16, 24, 32 and 48
# pixels) and the two 490 x 150 banners, English and Traditional Chinese. The results
# are kept in the repository; run this only to change them.
#
#   make_artwork.sh [OUT_DIR]      (default: the folder of this script)
set -eu

here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here}
convert=/usr/bin/convert
[ -x "$convert" ] || convert=convert
cjk_font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Icon: "CV" on a blue tile with an amber bar, drawn per size so that the small ones
# stay sharp instead of being scaled down.
for size in 16 24 32 48; do
    radius=$((size / 5))
    points=$(((size * 46 + 50) / 100))
    bar_top=$((size * 78 / 100))
    bar_height=1
    [ "$size" -ge 32 ] && bar_height=2
    "$convert" -size "${size}x${size}" xc:none \
        -fill '#1f5f99' -draw "roundrectangle 0,0 $((size - 1)),$((size - 1)) $radius,$radius" \
        -fill '#f2b134' \
        -draw "rectangle $((size / 6)),$bar_top $((size - 1 - size / 6)),$((bar_top + bar_height - 1))" \
        -font DejaVu-Sans-Bold -pointsize "$points" -fill white -gravity center \
        -annotate "+0-$((size / 12))" 'CV' "$work/icon_$size.png"
done
"$convert" "$work/icon_16.png" "$work/icon_24.png" "$work/icon_32.png" "$work/icon_48.png" \
    "$out/cvpurger.ico"

# Banner: the product's name on a blue gradient, with a subtitle in the page's
# language. Baseline JPEG at 96 dpi, so that the picture object reports it at its
# pixel size.
banner() {
    subtitle_font=$1 subtitle_size=$2 subtitle_y=$3 subtitle=$4 file=$5
    "$convert" -size 490x150 gradient:'#0d2b52'-'#2a6fb0' \
        \( -size 490x150 xc:none -fill '#ffffff22' \
           -draw "circle 430,20 520,110" -draw "circle 470,150 540,200" \) -composite \
        -fill '#f2b134' -draw "rectangle 30,100 200,103" \
        -font DejaVu-Sans-Bold -pointsize 54 -fill white -annotate +26+80 'CVPurger' \
        -font "$subtitle_font" -pointsize "$subtitle_size" -fill '#dce8f5' \
        -annotate "+30+$subtitle_y" "$subtitle" \
        -strip -density 96 -units PixelsPerInch -interlace none -sampling-factor 4:2:0 \
        -quality 90 "$file"
}
banner DejaVu-Sans 17 128 'Driver Purger Wizard' "$out/banner_en.jpg"
banner "$cjk_font" 18 130 '驅動程式反安裝精靈' "$out/banner_zh_tw.jpg"
