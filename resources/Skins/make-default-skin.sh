#!/usr/bin/env bash
# Draws the pictures of the skin "Default" with ImageMagick into resources/Skins/Default.
# Flat, light look: white surfaces, soft grey borders, one blue accent (#2D7DD2).
# Control pictures are 8-bit RGBA PNG drawn for 96 DPI (the skin scales the DPI-aware ones);
# dialog backgrounds are JPEG. The pictures are committed; run this after changing it:
#   resources/Skins/make-default-skin.sh
set -euo pipefail
OUT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/Default
mkdir -p "$OUT"
P="$OUT/Default"
ACCENT='#2D7DD2'; ACCENT_DARK='#1B5A9C'; BORDER='#B8C2CC'; HOT='#E8F1FB'; PRESSED='#CFE2F6'
DIS='#D5DAE0'; DIS_FILL='#F2F4F6'; TEXT='#33404D'; RED='#D64545'; GREEN='#3BB273'; PANEL='#F7F9FB'
BOLD=Liberation-Sans-Bold

# png NAME WIDTH HEIGHT [convert arguments...]: a transparent canvas, drawn on, saved as RGBA.
png() {
  local name=$1 w=$2 h=$3; shift 3
  convert -size "${w}x${h}" xc:none "$@" -depth 8 -define png:color-type=6 "PNG32:${P}${name}.png"
}
# jpg NAME WIDTH HEIGHT TOP BOTTOM: a soft vertical gradient.
jpg() {
  convert -size "$2x$3" gradient:"$4-$5" -quality 92 "${P}$1.jpg"
}

# Button: 24 x 120, five rows of 24 (0 normal, 1 hot, 2 disabled, 3 default or focused, 4 hot and
# pressed), each a 3 x 3 grid of 8 x 8 tiles (rounded corners, stretchable edges and centre).
png Button 24 120 \
  -fill white -stroke "$BORDER" -draw "roundrectangle 0.5,0.5 23.5,23.5 4,4" \
  -fill "$HOT" -stroke "$ACCENT" -draw "roundrectangle 0.5,24.5 23.5,47.5 4,4" \
  -fill "$DIS_FILL" -stroke "$DIS" -draw "roundrectangle 0.5,48.5 23.5,71.5 4,4" \
  -fill white -stroke "$ACCENT" -strokewidth 2 -draw "roundrectangle 1,73 23,95 4,4" -strokewidth 1 \
  -fill "$PRESSED" -stroke "$ACCENT_DARK" -draw "roundrectangle 0.5,96.5 23.5,119.5 4,4"

# CheckBox: three 16 x 16 frames (0 unchecked, 1 checked, 2 spare: disabled look).
png CheckBox 48 16 \
  -fill white -stroke "$BORDER" -draw "roundrectangle 1.5,1.5 14.5,14.5 3,3" \
  -fill "$ACCENT" -stroke "$ACCENT" -draw "roundrectangle 17.5,1.5 30.5,14.5 3,3" \
  -fill none -stroke white -strokewidth 2 -draw "polyline 20.5,8 23.5,11 28,5.5" -strokewidth 1 \
  -fill "$DIS_FILL" -stroke "$DIS" -draw "roundrectangle 33.5,1.5 46.5,14.5 3,3"

# SwitchBox: three 32 x 16 frames (0 off, 1 on, 2 spare: disabled look).
png SwitchBox 96 16 \
  -fill "$DIS" -stroke none -draw "roundrectangle 2,2 30,14 6,6" \
  -fill white -stroke "$BORDER" -draw "circle 8,8 8,3" \
  -fill "$ACCENT" -stroke none -draw "roundrectangle 34,2 62,14 6,6" \
  -fill white -stroke none -draw "circle 56,8 56,3.5" \
  -fill "$DIS_FILL" -stroke "$DIS" -draw "roundrectangle 66.5,2.5 93.5,13.5 5.5,5.5"

# RadioItem: two 16 x 16 frames (0 unselected, 1 selected).
png RadioItem 32 16 \
  -fill white -stroke "$BORDER" -draw "circle 8,8 8,1.5" \
  -fill white -stroke "$ACCENT" -draw "circle 24,8 24,1.5" \
  -fill "$ACCENT" -stroke none -draw "circle 24,8 24,4.5"

# Icon cells of 16 x 16, drawn at the origin; "translate" places them in their strip.
icon_ok="stroke $ACCENT stroke-width 2 fill none polyline 3,8.5 6.5,12 13,4.5"
icon_cancel="stroke $RED stroke-width 2 fill none line 4,4 12,12 line 12,4 4,12"
icon_left="stroke $TEXT stroke-width 2 fill none line 3,8 13,8 polyline 7.5,3.5 3,8 7.5,12.5"
icon_right="stroke $TEXT stroke-width 2 fill none line 3,8 13,8 polyline 8.5,3.5 13,8 8.5,12.5"
icon_folder="stroke #C99A1E stroke-width 1 fill #F4C542 polygon 1.5,4.5 1.5,2.5 6,2.5 7.5,4.5 roundrectangle 1.5,4.5 14.5,13.5 1,1"
icon_no="stroke $RED stroke-width 2 fill none circle 8,8 8,2.5 line 4.2,11.8 11.8,4.2"
icon_none="stroke $TEXT stroke-width 1.5 fill white roundrectangle 2.5,2.5 13.5,13.5 2,2"
icon_help="stroke none fill $ACCENT circle 8,8 8,1 fill white font $BOLD font-size 12 text 4.6,12.6 '?'"
icon_refresh="stroke $ACCENT stroke-width 2 fill none arc 2.5,2.5 13.5,13.5 40,320 stroke none fill $ACCENT polygon 14.5,1.5 14.5,7 9,7"
icon_all="stroke none fill $ACCENT roundrectangle 2,2 14,14 2,2 stroke white stroke-width 2 fill none polyline 4.5,8 7,10.5 11.5,5.5"
icon_save="stroke $ACCENT stroke-width 2 fill none line 8,1.5 8,10 polyline 4.5,6.5 8,10 11.5,6.5 polyline 2.5,10.5 2.5,14 13.5,14 13.5,10.5"
icon_search="stroke $TEXT stroke-width 2 fill none circle 6.5,6.5 6.5,2.5 line 9.5,9.5 14,14"
icon_gear="stroke $TEXT fill none push graphic-context stroke-width 2.6 stroke-dasharray 2.2,2.5 circle 8,8 8,2.2 pop graphic-context stroke-width 2.4 circle 8,8 8,4.2"
icon_info="stroke none fill $ACCENT circle 8,8 8,1 fill white rectangle 7,7 9,12 circle 8,4.6 8,3.6"
icon_drive="stroke $TEXT stroke-width 1 fill #DDE3E9 roundrectangle 1.5,4.5 14.5,11.5 2,2 stroke none fill $GREEN circle 11.5,8 11.5,7"
icon_file="stroke $TEXT stroke-width 1 fill white polygon 3.5,1.5 9.5,1.5 12.5,4.5 12.5,14.5 3.5,14.5 fill none polyline 9.5,1.5 9.5,4.5 12.5,4.5"
icon_play="stroke none fill $ACCENT polygon 4,2 13,8 4,14"
icon_stop="stroke none fill $TEXT rectangle 3,3 13,13"
icon_trash="stroke $TEXT stroke-width 1.5 fill none rectangle 4.5,4.5 11.5,14.5 line 2,3.5 14,3.5 line 6,1.5 10,1.5"
icon_back="stroke none fill $ACCENT circle 8,8 8,1 stroke white stroke-width 2 fill none line 4.5,8 11.5,8 polyline 7.5,5 4.5,8 7.5,11"
icon_next="stroke none fill $ACCENT circle 8,8 8,1 stroke white stroke-width 2 fill none line 4.5,8 11.5,8 polyline 8.5,5 11.5,8 8.5,11"
icon_globe="stroke $TEXT stroke-width 1.5 fill none circle 8,8 8,1.5 ellipse 8,8 3,6.5 0,360 line 1.5,8 14.5,8"
icon_exit="stroke $TEXT stroke-width 1.5 fill none polyline 9,2.5 2.5,2.5 2.5,13.5 9,13.5 line 6,8 14,8 polyline 11,5 14,8 11,11"

# strip NAME CELLS ICON... : a strip of CELLS icon cells; ICON is "index:variable" (empty cells stay clear).
strip() {
  local name=$1 cells=$2; shift 2
  local args=() entry index var
  for entry in "$@"; do
    index=${entry%%:*}; var=${entry#*:}
    args+=(-draw "push graphic-context translate $((index * 16)),0 ${!var} pop graphic-context")
  done
  png "$name" $((cells * 16)) 16 "${args[@]}"
}

# ButtonIcons: 21 cells. Used: 0 OK, 1 Cancel, 4 choose file, 5 No, 6 select none, 7 help,
# 8 refresh, 9 select all, 19 back, 20 next; the others are spares.
strip ButtonIcons 21 0:icon_ok 1:icon_cancel 2:icon_left 3:icon_right 4:icon_folder 5:icon_no 6:icon_none \
  7:icon_help 8:icon_refresh 9:icon_all 10:icon_save 11:icon_search 12:icon_gear 13:icon_info 14:icon_drive \
  15:icon_file 16:icon_play 17:icon_stop 18:icon_trash 19:icon_back 20:icon_next

# MenuCold / MenuHot: 96 cells of 16 x 16 for the menu commands (25 exit, 33 settings, 47 read-me,
# 53 about, 87 start a scan, 90 language, 91 spare command); the hot strip in the accent colour.
menu_cells="25:icon_exit 33:icon_gear 47:icon_help 53:icon_info 87:icon_search 90:icon_globe 91:icon_play"
strip MenuCold 96 $menu_cells
for v in icon_exit icon_gear icon_search icon_globe; do
  printf -v "$v" '%s' "${!v//$TEXT/$ACCENT}"
done
strip MenuHot 96 $menu_cells

# Player (4 columns: play, pause, stop, previous) and SlideShowControls (11 columns), both with
# four state rows of 16 x 16 cells: 0 normal, 1 hot, 2 disabled, 3 pressed.
glyph() {  # glyph COLUMN: the MVG of one media glyph at the origin
  case $1 in
    0) echo "polygon 4,2.5 13,8 4,13.5" ;;
    1) echo "rectangle 4,3 6.5,13 rectangle 9.5,3 12,13" ;;
    2) echo "rectangle 3.5,3.5 12.5,12.5" ;;
    3) echo "rectangle 3,3 5,13 polygon 13,3 6,8 13,13" ;;
    4) echo "rectangle 11,3 13,13 polygon 3,3 10,8 3,13" ;;
    5) echo "polygon 8,3 2,8 8,13 polygon 14,3 8,8 14,13" ;;
    6) echo "polygon 2,3 8,8 2,13 polygon 8,3 14,8 8,13" ;;
    7) echo "rectangle 7,3 9,13 rectangle 3,7 13,9" ;;
    8) echo "rectangle 3,7 13,9" ;;
    9) echo "polygon 2,2 7,2 2,7 polygon 14,2 9,2 14,7 polygon 2,14 7,14 2,9 polygon 14,14 9,14 14,9" ;;
    *) echo "polygon 3,4.5 4.5,3 8,6.5 11.5,3 13,4.5 9.5,8 13,11.5 11.5,13 8,9.5 4.5,13 3,11.5 6.5,8" ;;
  esac
}
media() {  # media NAME COLUMNS GLYPHS...
  local name=$1 columns=$2; shift 2
  local glyphs=("$@") args=() r c colour
  for r in 0 1 2 3; do
    case $r in 0) colour=$TEXT;; 1) colour=$ACCENT;; 2) colour=$DIS;; 3) colour=$ACCENT_DARK;; esac
    for ((c = 0; c < columns; c++)); do
      args+=(-draw "push graphic-context translate $((c * 16)),$((r * 16)) stroke none fill $colour $(glyph "${glyphs[c]}") pop graphic-context")
    done
  done
  png "$name" $((columns * 16)) 64 "${args[@]}"
}
media Player 4 0 1 2 3
media SlideShowControls 11 3 0 1 4 2 5 6 7 8 9 10

# Groupbox: 16 x 16 template of 4 x 4 tiles, a 1-pixel frame with rounded corners.
png Groupbox 16 16 -fill none -stroke "$BORDER" -draw "roundrectangle 0.5,0.5 15.5,15.5 3,3"

# Tool bar button backgrounds (stretched over the item), status bar background and grabber.
png ToolbarButtonBackHover 32 32 -fill "$HOT" -stroke "#A9C9EC" -draw "roundrectangle 0.5,0.5 31.5,31.5 3,3"
png ToolbarButtonBackPressed 32 32 -fill "$PRESSED" -stroke "$ACCENT" -draw "roundrectangle 0.5,0.5 31.5,31.5 3,3"
png BackgroundStatusBar 16 22 -fill "#F2F4F6" -draw "rectangle 0,0 15,21" -fill "$DIS" -draw "line 0,0 15,0"
png Grabber 12 12 -fill "$BORDER" -stroke none \
  -draw "rectangle 9,1 10,2 rectangle 5,5 6,6 rectangle 9,5 10,6 rectangle 1,9 2,10 rectangle 5,9 6,10 rectangle 9,9 10,10"

# Track bar: a 40 x 6 channel (10-pixel caps, stretchable middle) and a 14 x 14 round thumb.
png TrackBar 40 6 -fill "$DIS" -stroke none -draw "roundrectangle 0,0 39,5 3,3"
png TrackBarThumb 14 14 -fill white -stroke "$ACCENT" -strokewidth 1.5 -draw "circle 7,7 7,1.5"

# Combo-box drop-down arrow: a chevron in a 16 x 16 cell.
png ComboBoxDropDown 16 16 -fill none -stroke "$TEXT" -strokewidth 1.5 -draw "polyline 4.5,6.5 8,10 11.5,6.5"

# Start button: five 200 x 48 frames stacked (states as the rows of "Button"), light enough for the
# button texts, 6-pixel corners.
png StartUpScreenButton 200 240 \
  -fill "#DCEBFA" -stroke "$ACCENT" -draw "roundrectangle 0.5,0.5 199.5,47.5 6,6" \
  -fill "#C6DEF7" -stroke "$ACCENT" -draw "roundrectangle 0.5,48.5 199.5,95.5 6,6" \
  -fill "$DIS_FILL" -stroke "$DIS" -draw "roundrectangle 0.5,96.5 199.5,143.5 6,6" \
  -fill "#DCEBFA" -stroke "$ACCENT" -strokewidth 2 -draw "roundrectangle 1,145 199,191 6,6" -strokewidth 1 \
  -fill "#B0D1F3" -stroke "$ACCENT_DARK" -draw "roundrectangle 0.5,192.5 199.5,239.5 6,6"

# Result list overlays: a check badge for kept pictures; a light veil stretched over the others.
png PhotoYes 24 24 -fill "$GREEN" -stroke white -strokewidth 1.5 -draw "circle 12,12 12,1.5" \
  -draw "fill none stroke white stroke-width 2.5 stroke-linejoin round stroke-linecap round path 'M 7,12.5 L 10.5,16 L 17,8.5'"
png PhotoNo 16 16 -fill "rgba(255,255,255,0.45)" -stroke none -draw "rectangle 0,0 15,15"

# Fancy dialog frame: 105 x 105 (35-pixel corners and edge bands; the middle is not used) and the
# pointer above the dialog.
png DialogFancyBorder 105 105 \
  -fill "rgba(0,0,0,0.18)" -stroke none -draw "roundrectangle 3,5 101,103 12,12" -blur 0x2 \
  -fill "$PANEL" -stroke "$BORDER" -draw "roundrectangle 2.5,2.5 101.5,100.5 10,10"
png DialogFancyPointer 24 12 -fill "$PANEL" -stroke "$BORDER" -draw "polygon 0.5,0.5 23.5,0.5 12,11.5"

# Settings and wizard headers, busy overlay animation and progress bar (empty above, full below).
png SettingsHeader 48 48 -draw "scale 3,3 ${icon_gear//$TEXT/$ACCENT}"
png WizardHeader 48 48 -draw "scale 3,3 ${icon_search//$TEXT/$ACCENT}"
arc_points=$(awk 'BEGIN { for (a = -90; a <= 30; a += 5) printf "%.2f,%.2f ", 24 + 19 * cos(a * 3.14159265 / 180), 24 + 19 * sin(a * 3.14159265 / 180) }')
png WizardWorking 48 48 -fill none -stroke "$DIS" -strokewidth 5 -draw "circle 24,24 24,5" \
  -draw "fill none stroke $ACCENT stroke-width 5 stroke-linecap round stroke-linejoin round polyline $arc_points"
png WizardProgressBar 200 16 -fill "$DIS" -stroke none -draw "roundrectangle 0,1 199,6 3,3" \
  -fill "$ACCENT" -draw "roundrectangle 0,9 199,14 3,3"

# Dialog backgrounds (JPEG): soft vertical gradients, stretched to the dialogs.
jpg DlgBackground 800 600 '#FFFFFF' '#EEF2F6'
jpg StartUpScreenBack 800 600 '#FFFFFF' '#E6EEF7'
jpg ResultScreenBack 800 600 '#FFFFFF' '#EEF2F6'
jpg SettingsHeaderBack 600 64 '#2D7DD2' '#1B5A9C'
jpg WizardHeaderBack 600 64 '#FFFFFF' '#E8F1FB'
jpg WizardFooterBack 800 600 '#FFFFFF' '#EEF2F6'
echo "Default skin pictures written to $OUT"
