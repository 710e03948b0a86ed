#!/bin/sh
# Runs one test under its own virtual X server (a free display number is picked),
# on the real X platform whatever the caller's QT_QPA_PLATFORM says.
QT_QPA_PLATFORM=xcb
export QT_QPA_PLATFORM
exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$@"
