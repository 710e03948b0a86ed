#!/bin/sh
# Usage: run-startup-bench.sh BUILD_DIR [RUNS]
# Builds nothing; run `cmake --build BUILD_DIR --target kzp-startup-bench` first.
set -e
build=${1:?usage: run-startup-bench.sh BUILD_DIR [RUNS]}
runs=${2:-7}
exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" \
    "$build/bin/kzp-startup-bench" "$runs" "$build/bin/kzp-bare-window" \
    "$build/bin/kestrune-zyl-player" "$build/bin/kzp-shell-window"
