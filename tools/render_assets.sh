#!/usr/bin/env bash
# Regenerates every image the launcher ships (resources/images/*.png,
# resources/images/favicon.ico, resources/app.ico) and the demo backend's news
# pictures (tools/demo/img/*.jpg) from the sources in resources/sources/ and
# tools/demo/img_src/.
#
#   tools/render_assets.sh [--no-install] [--offline]
#
#   --no-install  do not apt-get missing tools (fail instead)
#   --offline     do not refresh the vendored icon SVGs from npm
#
# Output is deterministic: the same sources and tool versions give
# byte-identical files, so re-running it leaves a clean git diff.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SRC=$ROOT/resources/sources
IMG=$ROOT/resources/images
DEMO=$ROOT/tools/demo

# Icon packages, pinned so that a refresh cannot silently change the artwork.
LUCIDE_VERSION=1.87.0
SIMPLE_ICONS_VERSION=16.37.0
LUCIDE_ICONS=(play shopping-cart messages-square headset settings chevron-left chevron-right)
BRAND_ICONS=(discord youtube vk telegram)
DEMO_ICONS=(snowflake wrench car-front house shield flag zap trophy)

INSTALL=1
REFRESH=1
for arg in "$@"; do
    case $arg in
        --no-install) INSTALL=0 ;;
        --offline) REFRESH=0 ;;
        -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
        *) echo "unknown option: $arg" >&2; exit 2 ;;
    esac
done

log() { printf '==> %s\n' "$*"; }

# ---------------------------------------------------------------- tools ----
APT_PACKAGES=(librsvg2-bin imagemagick icoutils optipng fonts-dejavu-core fonts-dejavu-extra)
missing=()
for p in "${APT_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    if ((INSTALL == 0)); then
        echo "missing packages: ${missing[*]} (run without --no-install, or apt-get install them)" >&2
        exit 1
    fi
    log "installing ${missing[*]}"
    SUDO=
    ((EUID == 0)) || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Call ImageMagick by its packaged path: another "convert" earlier in PATH
# (or Windows' convert.exe under MSYS) must not be picked up by accident.
if [[ -x /usr/bin/magick ]]; then
    IM=(/usr/bin/magick)
elif [[ -x /usr/bin/convert ]]; then
    IM=(/usr/bin/convert)
else
    echo "ImageMagick not found in /usr/bin" >&2
    exit 1
fi
"${IM[@]}" -version | grep -q ImageMagick || { echo "${IM[*]} is not ImageMagick" >&2; exit 1; }
PYTHON=$(command -v python3)

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velor-assets.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# ------------------------------------------------------- vendored icons ----
# The SVGs are kept in the repository (resources/sources/icons, and the demo
# ones in tools/demo/img_src/icons) so rendering also works offline; this step
# only refreshes them from the pinned npm packages.
if ((REFRESH)); then
    if command -v npm >/dev/null 2>&1; then
        NPM_DIR=${VELOR_ASSET_NPM_DIR:-${TMPDIR:-/tmp}/velor-asset-npm}
        log "fetching lucide-static@$LUCIDE_VERSION simple-icons@$SIMPLE_ICONS_VERSION into $NPM_DIR"
        mkdir -p "$NPM_DIR"
        [[ -f $NPM_DIR/package.json ]] || echo '{"name":"velor-asset-scratch","private":true}' >"$NPM_DIR/package.json"
        npm install --prefix "$NPM_DIR" --no-audit --no-fund --silent \
            "lucide-static@$LUCIDE_VERSION" "simple-icons@$SIMPLE_ICONS_VERSION"
        LUCIDE=$NPM_DIR/node_modules/lucide-static
        SIMPLE=$NPM_DIR/node_modules/simple-icons
        mkdir -p "$SRC/icons/lucide" "$SRC/icons/simple-icons" "$DEMO/img_src/icons"
        for i in "${LUCIDE_ICONS[@]}"; do cp "$LUCIDE/icons/$i.svg" "$SRC/icons/lucide/"; done
        for i in "${BRAND_ICONS[@]}"; do cp "$SIMPLE/icons/$i.svg" "$SRC/icons/simple-icons/"; done
        for i in "${DEMO_ICONS[@]}"; do cp "$LUCIDE/icons/$i.svg" "$DEMO/img_src/icons/"; done
        cp "$LUCIDE/LICENSE" "$SRC/icons/lucide/LICENSE"
        cp "$SIMPLE/LICENSE.md" "$SRC/icons/simple-icons/LICENSE.md"
        cp "$LUCIDE/LICENSE" "$DEMO/img_src/icons/LICENSE"
    else
        log "npm not found: using the vendored icon SVGs as they are"
    fi
fi

# -------------------------------------------------------------- helpers ----
# Final PNG write: 8-bit RGBA, no timestamps or other ancillary chunks, then
# losslessly recompressed.
png_out() { # <input image> <output.png> [extra IM options before writing]
    local in=$1 out=$2
    shift 2
    "${IM[@]}" "$in" "$@" -strip -define png:exclude-chunks=date,time PNG32:"$out"
    optipng -quiet -o2 -nb -nc -np -strip all "$out"   # keep RGBA: lossless only
}

# Writes a recoloured copy of an icon SVG. Lucide icons draw with
# stroke="currentColor"; Simple Icons have no fill at all (black by default).
recolor() { # <src.svg> <dst.svg> <colour> [fill]
    local src=$1 dst=$2 colour=$3 fill=${4:-}
    sed -e "s/currentColor/$colour/g" "$src" >"$dst"
    if [[ -n $fill ]]; then
        # Lucide's root has fill="none"; replace it (only the first occurrence).
        sed -i -e "0,/fill=\"none\"/s//fill=\"$fill\"/" "$dst"
    fi
    if ! grep -q 'currentColor\|stroke=' "$src"; then
        sed -i -e "0,/<svg /s//<svg fill=\"$colour\" /" "$dst"
    fi
}

# Renders an SVG to exactly W x H. With a viewBox override the artwork is
# cropped/stretched to that box; otherwise it is scaled to fit and centred.
render() { # <src.svg> <out.png> <W> <H> [viewBox]
    local src=$1 out=$2 w=$3 h=$4 vb=${5:-}
    local tmp
    tmp=$WORK/$(basename "$out" .png)
    if [[ -n $vb ]]; then
        sed -e "0,/viewBox=\"[^\"]*\"/s//viewBox=\"$vb\" preserveAspectRatio=\"none\"/" "$src" >"$tmp.vb.svg"
        rsvg-convert -w "$w" -h "$h" "$tmp.vb.svg" -o "$tmp.png"
    else
        local s=$((w > h ? w : h))
        rsvg-convert -w "$s" -h "$s" "$src" -o "$tmp.png"
    fi
    png_out "$tmp.png" "$out" -background none -gravity center -extent "${w}x${h}"
}

mkdir -p "$IMG"

# ----------------------------------------------------------- UI icons ----
log "icons"
L=$SRC/icons/lucide
S=$SRC/icons/simple-icons
# Play sits on the amber button: dark brown, filled so it reads at 24 px.
recolor "$L/play.svg" "$WORK/play.svg" '#382D00' '#382D00'
render "$WORK/play.svg" "$IMG/icon_play.png" 24 24
# Menu buttons: grey on the dark panel.
recolor "$L/shopping-cart.svg" "$WORK/cart.svg" '#707070'
render "$WORK/cart.svg" "$IMG/icon_magazin.png" 24 22 "0 1.1 24 22"
recolor "$L/messages-square.svg" "$WORK/forum.svg" '#707070'
render "$WORK/forum.svg" "$IMG/icon_forum.png" 24 24
recolor "$L/headset.svg" "$WORK/support.svg" '#707070'
render "$WORK/support.svg" "$IMG/icon_support.png" 28 28
recolor "$L/settings.svg" "$WORK/settings.svg" '#707070'
render "$WORK/settings.svg" "$IMG/icon_settings.png" 26 26
# News slider arrows: white, cropped to the chevron so it fills 8 x 13.
recolor "$L/chevron-left.svg" "$WORK/left.svg" '#FFFFFF'
render "$WORK/left.svg" "$IMG/icon_left.png" 8 13 "7.7 5 8.6 14"
recolor "$L/chevron-right.svg" "$WORK/right.svg" '#FFFFFF'
render "$WORK/right.svg" "$IMG/icon_right.png" 8 13 "7.7 5 8.6 14"
# Social links on the sidebar: light grey brand marks.
for i in discord youtube vk telegram; do
    recolor "$S/$i.svg" "$WORK/$i.svg" '#E2E2E2'
done
render "$WORK/discord.svg" "$IMG/icon_discord.png" 26 20
render "$WORK/youtube.svg" "$IMG/icon_youtube.png" 26 26
render "$WORK/vk.svg" "$IMG/icon_vk.png" 26 26
render "$WORK/telegram.svg" "$IMG/icon_telegram.png" 26 26

# --------------------------------------------------------------- logo ----
log "logo"
rsvg-convert -w 4096 -h 1220 "$SRC/art/logo.svg" -o "$WORK/logo.png"
png_out "$WORK/logo.png" "$IMG/logo.png"
# The sizes the sidebar draws it at, 32 pixels high, on 1x and 2x displays:
# decoding the 4096-pixel original costs more than the whole first frame.
mkdir -p "$IMG/drawn"
for scale in 1 2; do
    rsvg-convert -w $((107 * scale)) -h $((32 * scale)) "$SRC/art/logo.svg" -o "$WORK/logo_$scale.png"
    png_out "$WORK/logo_$scale.png" "$IMG/drawn/logo@${scale}x.png"
done

# --------------------------------------------------------- background ----
# Gradients come from background.py as 16-bit layers; they are composited at
# 16 bits and dithered to 8 bits once (see background.py for why).
log "background"
"$PYTHON" "$SRC/art/background.py" city >"$WORK/city.svg"
"$PYTHON" "$SRC/art/background.py" sky >"$WORK/sky.ppm"
"$PYTHON" "$SRC/art/background.py" shade >"$WORK/shade.pgm"
# The original, and the sizes the window draws it at on 1x and 2x displays
# (it covers the 1081 x 659 window: 1081 x 660).
for size in 2160x1320:background 1081x660:drawn/background@1x 2162x1320:drawn/background@2x; do
    w=${size%%x*} rest=${size#*x} h=${rest%%:*} name=${size#*:}
    rsvg-convert -w "$w" -h "$h" "$WORK/city.svg" -o "$WORK/city.png"
    "${IM[@]}" "$WORK/sky.ppm" -filter Triangle -resize "${w}x${h}!" \
        "$WORK/city.png" -compose over -composite \
        \( "$WORK/shade.pgm" -filter Triangle -resize "${w}x${h}!" \) -compose multiply -composite \
        -ordered-dither o8x8,256 -depth 8 -strip -define png:exclude-chunks=date,time \
        PNG24:"$IMG/$name.png"
    optipng -quiet -o2 -strip all "$IMG/$name.png"
done

# -------------------------------------------------------------- icons ----
# favicon.ico: several sizes for window/taskbar use. app.ico: the single
# 256 x 256 32-bit image the Windows executable embeds (IDI_ICON1). Both are
# stored as uncompressed 32-bit BMP entries, which every ICO reader accepts.
log "favicon.ico, app.ico"
for s in 16 32 48 256; do
    rsvg-convert -w "$s" -h "$s" "$SRC/art/app_icon.svg" -o "$WORK/app_$s.raw.png"
    # icotool wants plain RGBA input, so no optipng pass here.
    "${IM[@]}" "$WORK/app_$s.raw.png" -strip -define png:exclude-chunks=date,time PNG32:"$WORK/app_$s.png"
done
icotool -c -o "$IMG/favicon.ico" "$WORK/app_16.png" "$WORK/app_32.png" "$WORK/app_48.png" "$WORK/app_256.png"
icotool -c -o "$ROOT/resources/app.ico" "$WORK/app_256.png"

# --------------------------------------------------------- demo images ----
log "demo news pictures"
mkdir -p "$WORK/news" "$DEMO/img"
"$PYTHON" "$DEMO/img_src/news_art.py" "$WORK/news"
rm -f "$DEMO"/img/*.jpg
for svg in "$WORK"/news/*.svg; do
    n=$(basename "$svg" .svg)
    rsvg-convert -w 800 -h 450 "$svg" -o "$WORK/news/$n.png"
    "${IM[@]}" "$WORK/news/$n.png" -background '#0d0d0d' -flatten -strip \
        -sampling-factor 4:2:0 -interlace none -quality 80 "$DEMO/img/$n.jpg"
done

# ------------------------------------------------------------- report ----
log "done"
for f in "$IMG"/*.png "$IMG"/drawn/*.png "$IMG/favicon.ico" "$ROOT/resources/app.ico" "$DEMO"/img/*.jpg; do
    printf '  %-48s %s\n' "${f#"$ROOT"/}" "$(file -b "$f" | cut -c1-70)"
done
