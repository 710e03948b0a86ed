#!/bin/sh
# Runs one test under its own virtual X server, on the real X platform
# whatever the caller's QT_QPA_PLATFORM says. KZP_XVFB_SCREEN gives the
# screen's size and depth (default 1920x1080x24).
#
# The server picks a free display number itself (-displayfd) and reports it
# once it accepts connections. Tests run in parallel: choosing a number
# beforehand, as "xvfb-run -a" does, lets two servers race for one display,
# and a test then loses its own server in the middle of its run.
# -noreset: a server resets whenever its last client leaves, and a client
# that connects meanwhile (a window manager right after a probe of the
# display) is refused.
QT_QPA_PLATFORM=xcb
export QT_QPA_PLATFORM

dir=$(mktemp -d "${TMPDIR:-/tmp}/kzp-xvfb.XXXXXX") || exit 1
server=
cleanup() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null
        wait "$server" 2>/dev/null
    fi
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The server reads every cookie in its file whatever display it names; the
# clients look theirs up by display, so the cookie is added again under the
# number the server chose.
cookie=$(mcookie)
XAUTHORITY="$dir/Xauthority"
export XAUTHORITY
xauth -q -f "$XAUTHORITY" add ":0" . "$cookie" 2>/dev/null

Xvfb -displayfd 3 -screen 0 "${KZP_XVFB_SCREEN:-1920x1080x24}" -nolisten tcp -noreset -auth "$XAUTHORITY" 3>"$dir/display" 2>"$dir/log" &
server=$!
while [ ! -s "$dir/display" ]; do
    if ! kill -0 "$server" 2>/dev/null; then
        echo "run-xvfb: Xvfb did not start:" >&2
        cat "$dir/log" >&2
        server=
        exit 1
    fi
    sleep 0.05
done
DISPLAY=:$(head -n 1 "$dir/display")
export DISPLAY
xauth -q -f "$XAUTHORITY" add "$DISPLAY" . "$cookie"

"$@"
status=$?
exit $status
