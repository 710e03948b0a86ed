#!/bin/sh
# Re-renders the compiled-in pictures (resources/image/), the desktop icons and
# the user guide's pictures from the SVG sources in resources/icons-src/.
# Needs rsvg-convert (librsvg2-bin) and ImageMagick's convert.
# Usage: tools/render-icons.sh   (from anywhere; paths are taken from the script)
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
src="$here/resources/icons-src"
out="$here/resources/image"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

for tool in rsvg-convert convert; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "render-icons: $tool not found" >&2
        exit 1
    }
done

# name:size -- every picture is rendered at the size its button takes.
for entry in \
    stop:48 pre:48 next:48 play:56 pause:56 \
    volume:36 no-volume:36 fullscreen:36 \
    MoviesFolder:64 disc:64 information:48 \
    min:30 close:30 dot:16 playstatus:16; do
    name=${entry%%:*}
    size=${entry#*:}
    rsvg-convert -w "$size" -h "$size" "$src/$name.svg" -o "$tmp/$name.png"
    # Drop ancillary chunks (time stamps) so a re-render of an unchanged
    # source gives the same bytes.
    convert "$tmp/$name.png" -strip "PNG32:$out/$name.png"
done

# Start page background: a little noise keeps the dark gradients from banding
# once they are stored as JPEG.
rsvg-convert -w 1920 -h 1080 "$src/bg.svg" -o "$tmp/bg.png"
convert "$tmp/bg.png" -seed 1 -attenuate 0.25 +noise Gaussian -strip -sampling-factor 4:4:4 -quality 90 \
    "$out/bg.jpg"

# Window icon: one .ico holding the usual sizes; the desktop gets the same
# drawing as separate PNGs for the hicolor theme.
ico_parts=""
for size in 16 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" "$src/logo.svg" -o "$tmp/logo-$size.png"
    ico_parts="$ico_parts $tmp/logo-$size.png"
    mkdir -p "$out/hicolor/${size}x${size}"
    convert "$tmp/logo-$size.png" -strip "PNG32:$out/hicolor/${size}x${size}/kestrune-zyl-player.png"
done
# shellcheck disable=SC2086
convert $ico_parts "$out/logo.ico"
mkdir -p "$out/hicolor/scalable"
cp "$src/logo.svg" "$out/hicolor/scalable/kestrune-zyl-player.svg"

# The user guide shows the logo and the control panel's buttons.
guide="$here/resources/guide"
mkdir -p "$guide"
rsvg-convert -w 144 -h 144 "$src/logo.svg" -o "$tmp/guide-logo.png"
convert "$tmp/guide-logo.png" -strip "PNG32:$guide/logo.png"
for name in stop play pre next volume fullscreen; do
    rsvg-convert -w 44 -h 44 "$src/$name.svg" -o "$tmp/guide-$name.png"
    convert "$tmp/guide-$name.png" -strip "PNG32:$guide/button-$name.png"
done

echo "render-icons: pictures written to $out and $guide"
