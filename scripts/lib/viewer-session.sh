# Driving the viewer on the current display as a person would: xdotool for input, ImageMagick's
# import for pictures. Sourced by the scripts that run the viewer headless. Every wait polls the
# screen with a timeout; nothing sleeps a fixed time.

session_fail() { echo "${0##*/}: $*" >&2; exit 1; }

# start_viewer PROGRAM WORKDIR LOGDIR [FILE...]: starts the viewer, on the pictures FILE if given,
# its output going to LOGDIR, waits for both windows and places the panel beside the main window (there is no window manager). Sets
# viewer, main, panel, panel_x, panel_width, panel_height and session_logs. This Xvfb now and then
# refuses a new connection while another client disconnects; a viewer it refused is started again.
start_viewer() {
  local program=$1 workdir=$2 attempts=0
  session_logs=$3
  shift 3
  viewer="" main="" panel=""
  for _ in $(seq 1 600); do
    if [ -z "$viewer" ]; then
      (cd "$workdir" && exec "$program" "$@" >"$session_logs/stdout" 2>"$session_logs/stderr") &
      viewer=$!
    fi
    main=$(xdotool search --name '^Complex Logarithmic Mapping$' 2>/dev/null | head -n 1 || true)
    panel=$(xdotool search --name '^GLUI$' 2>/dev/null | head -n 1 || true)
    [ -n "$main" ] && [ -n "$panel" ] && break
    if ! kill -0 "$viewer" 2>/dev/null; then
      grep -q "failed to open display" "$session_logs/stderr" && [ $((attempts += 1)) -le 5 ] ||
        session_fail "the viewer ended: $(cat "$session_logs/stdout" "$session_logs/stderr")"
      viewer=""
    fi
    sleep 0.05
  done
  [ -n "$main" ] && [ -n "$panel" ] || session_fail "the viewer's windows did not appear"
  panel_x=660
  xdotool windowmove "$panel" "$panel_x" 0
  for _ in $(seq 1 200); do
    eval "$(xdotool getwindowgeometry --shell "$panel")"
    [ "$X" = "$panel_x" ] && break
    sleep 0.05
  done
  panel_width=$WIDTH
  panel_height=$HEIGHT
  # The first picture: once the window is no longer blank and has stopped changing.
  settled_after "$(convert -size 640x480 xc:black -depth 8 rgb:- | md5sum)"
}

# A fingerprint of a window's pixels.
pixels() { import -window "$1" -depth 8 rgb:- 2>/dev/null | md5sum; }

# Waits until the main window's picture differs from $1 and has stopped changing.
settled_after() {
  local before=$1 previous="" now
  for _ in $(seq 1 400); do
    now=$(pixels "$main")
    if [ "$now" != "$before" ] && [ "$now" = "$previous" ]; then return 0; fi
    previous=$now
    sleep 0.05
  done
  session_fail "the picture did not change"
}

# find_controls [COUNT]: the centres (y) of the panel's white boxes, in order: its checkboxes and
# radio buttons (Wireframe, the four images or the files given, Exact texturing), then the number
# fields of the focus (Real, Imaginary) and of the angle, then True proportions and the Zoom
# field; COUNT of them, 11 for the four images.
# The panel grows to fit what it draws, so it is looked at until it shows them all.
find_controls() {
  local expected=${1:-11} y
  for _ in $(seq 1 100); do
    eval "$(xdotool getwindowgeometry --shell "$panel")"
    panel_width=$WIDTH
    panel_height=$HEIGHT
    controls=()
    while read -r y; do controls+=("$y"); done < <(
      import -window "$panel" -crop "40x${panel_height}+0+0" txt:- 2>/dev/null |
        awk -F'[,: ]+' '/#FFFFFF/ { white[$2] = 1 }
          END { for (y = 0; y <= '"$panel_height"'; y++) {
                  if (white[y] && start == "") start = y
                  if (!white[y] && start != "") { print int((start + y - 1) / 2); start = "" } } }')
    [ ${#controls[@]} -eq "$expected" ] && return 0
    sleep 0.05
  done
  session_fail "found ${#controls[@]} controls in the panel instead of $expected"
}

# click_control I: clicks control I (0 Wireframe, 1 to 4 the images, 5 Exact texturing, with the
# four images) and waits for the picture.
click_control() {
  local before
  before=$(pixels "$main")
  xdotool mousemove $((panel_x + 15)) "${controls[$1]}" click 1 mousemove 320 240
  settled_after "$before"
}

# drag_down PIXELS: a right-button drag in one motion event (negative: upward); waits for the picture.
drag_down() {
  local before
  before=$(pixels "$main")
  if [ "$1" -ge 0 ]; then
    xdotool mousemove 320 10 mousedown 3 mousemove 320 $((10 + $1)) mouseup 3
  else
    xdotool mousemove 320 470 mousedown 3 mousemove 320 $((470 + $1)) mouseup 3
  fi
  settled_after "$before"
}

# type_into I TEXT: types TEXT and Enter into the panel's number field I of find_controls (6 Real,
# 7 Imaginary, 8 Angle, with the four images).
type_into() {
  xdotool mousemove $((panel_x + 40)) "${controls[$1]}" click 1
  xdotool key ctrl+a
  xdotool type -- "$2"
  xdotool key Return
}

# set_fields CONTROL TEXT [CONTROL TEXT ...]: types each text into its panel field, then waits
# for the picture.
set_fields() {
  local before
  before=$(pixels "$main")
  while [ $# -ge 2 ]; do
    type_into "$1" "$2"
    shift 2
  done
  xdotool mousemove 320 240
  settled_after "$before"
}

# set_focus REAL IMAGINARY, set_angle ANGLE, set_zoom ZOOM: the panel's number fields, the first
# three before True proportions, Zoom the last.
set_focus() { set_fields $((${#controls[@]} - 5)) "$1" $((${#controls[@]} - 4)) "$2"; }
set_angle() { set_fields $((${#controls[@]} - 3)) "$1"; }
set_zoom() { set_fields $((${#controls[@]} - 1)) "$1"; }

# press_key KEY: a key in the main window; waits for the picture.
press_key() {
  local before
  before=$(pixels "$main")
  xdotool mousemove 320 240 key "$1"
  settled_after "$before"
}

# Both windows, the main window at the left and the panel beside it.
save_both_windows() { import -window root -crop "$((panel_x + panel_width))x480+0+0" +repage "$1"; }
save_main_window() { import -window "$main" "$1"; }

# stop_viewer: Esc, and the viewer's exit status must be 0.
stop_viewer() {
  xdotool mousemove 320 240 key Escape
  local status=0
  wait "$viewer" || status=$?
  [ "$status" -eq 0 ] || session_fail "the viewer ended with status $status: $(tail -n 60 "$session_logs/stderr")"
}
