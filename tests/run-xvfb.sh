#!/bin/sh
# Runs one test under its own virtual X server (a free display number is picked).
exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$@"
