#!/bin/sh
# Usage: bench/firstpicture/run.sh BUILD_DIR [rounds]
# Runs the first-picture bench on the current X display, or under Xvfb without one.
build=${1:-build}
shift 2>/dev/null
if [ -n "$DISPLAY" ]; then
    QT_QPA_PLATFORM=xcb exec "$build/bin/bench-firstpicture" "$@"
fi
QT_QPA_PLATFORM=xcb exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$build/bin/bench-firstpicture" "$@"
