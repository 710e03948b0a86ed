#!/usr/bin/env bash
# Checks the Debian package the way a user meets it: makes it with
# `cpack -G DEB` in a finished build folder, installs it with
# `apt-get install ./FILE.deb`, checks the desktop integration and that every
# library and program it needs is declared, starts the installed command on a
# virtual X display until its window is mapped, closes it, and removes the
# package again together with anything its installation pulled in.
#
#   tools/check-package.sh [BUILD_DIR]     (default: build; needs root or sudo)
#
# Exits non-zero on any failure. KZP_START_TIMEOUT (seconds, default 60)
# bounds the wait for the window.
set -euo pipefail

package=kestrune-zyl-player
title='Kestrune Zyl Player'
start_timeout=${KZP_START_TIMEOUT:-60}

fail() {
    echo "check-package: FAIL: $*" >&2
    exit 1
}
say() { echo "check-package: $*"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
since() { # seconds since a now_ms value, one decimal
    local d=$((($(now_ms) - $1) / 100))
    echo "$((d / 10)).$((d % 10)) s"
}

# ---------------------------------------------------------------------------
# Inner part, run under xvfb-run: start the installed program, wait for its
# window, close it.
if [ "${1:-}" = --start-check ]; then
    work=$2
    exe=/usr/bin/$package
    mkdir -p "$work/home" "$work/run"
    chmod 700 "$work/run"
    player=
    # shellcheck disable=SC2317
    on_exit() { if [ -n "$player" ] && kill -0 "$player" 2>/dev/null; then kill -KILL "$player"; fi; }
    trap on_exit EXIT
    # A private home, data folder and single-instance lock; no session bus,
    # so the check never touches the desktop of whoever runs it.
    (
        cd "$work/home"
        exec env -u DBUS_SESSION_BUS_ADDRESS HOME="$work/home" XDG_DATA_HOME="$work/home/data" \
            XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache" \
            XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb KZP_AO=null "$exe"
    ) >"$work/player.log" 2>&1 &
    player=$!
    timeout "$start_timeout" xdotool search --sync --onlyvisible --name "^$title\$" >"$work/windows" &
    finder=$!
    # Whichever ends first: the window shows, the wait times out, or the program dies.
    wait -n "$player" "$finder" || true
    if ! kill -0 "$player" 2>/dev/null; then
        kill "$finder" 2>/dev/null || true
        cat "$work/player.log" >&2
        fail "$exe ended before its window was mapped"
    fi
    if ! wait "$finder"; then
        cat "$work/player.log" >&2
        fail "no mapped window named '$title' within ${start_timeout}s"
    fi
    window=$(head -n 1 "$work/windows")
    owner=$(xdotool getwindowpid "$window" || true)
    [ "$owner" = "$player" ] || fail "window $window belongs to pid '$owner', not the player ($player)"
    say "window $window of $exe mapped"

    # Close it the way a session ends it: SIGTERM ends the event loop normally.
    kill -TERM "$player"
    (
        sleep 30
        kill -KILL "$player" 2>/dev/null
    ) &
    watchdog=$!
    status=0
    wait "$player" || status=$?
    player=
    kill "$watchdog" 2>/dev/null || true
    wait "$watchdog" 2>/dev/null || true
    if [ "$status" -ne 0 ]; then
        cat "$work/player.log" >&2
        fail "the player exited with status $status after SIGTERM"
    fi
    say "closed, exit status 0"
    exit 0
fi

# ---------------------------------------------------------------------------
# Outer part: package, install, check, remove.
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd) || fail "no build folder"
[ -f "$build/CPackConfig.cmake" ] || fail "$build is not a configured build folder"

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo -n); fi
apt_get() {
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get -q -o DPkg::Lock::Timeout=300 "$@" </dev/null
}
installed_list() {
    dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package}\n' | awk '$1 == "ii" { print $2 }' | sort
}
package_state() { dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null | tr -d ' ' || true; }

case "$(package_state)" in
    "" | un*) ;;
    *) fail "$package is already on this machine ($(package_state)); remove it first" ;;
esac

started=$(now_ms)
work=$(mktemp -d)
chmod 755 "$work" # apt's download user reads the package from here
installed=
cleanup() {
    status=$?
    trap - EXIT
    if [ -n "$installed" ]; then
        # Our package and whatever its installation pulled in; nothing else.
        mapfile -t added < <(comm -13 "$work/before" <(installed_list))
        if [ ${#added[@]} -gt 0 ]; then
            t=$(now_ms)
            say "removing: ${added[*]}"
            apt_get remove -y --purge "${added[@]}" >"$work/remove.log" 2>&1 ||
                {
                    cat "$work/remove.log" >&2
                    echo "check-package: FAIL: apt-get remove failed" >&2
                    status=1
                }
            say "removed in $(since "$t")"
        fi
        if [ -n "$(comm -3 "$work/before" <(installed_list))" ] || [ -e "/usr/bin/$package" ] ||
            [ -e "/usr/lib/$package" ] || [ -e "/usr/share/applications/$package.desktop" ]; then
            echo "check-package: FAIL: the machine is not back to its packages and files before the check" >&2
            status=1
        fi
    fi
    rm -rf "$work"
    say "total $(since "$started")"
    exit "$status"
}
trap cleanup EXIT

# 1. Make the package.
t=$(now_ms)
rm -f "$build/${package}"_*.deb
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    fail "cpack -G DEB failed"
}
debs=("$build/${package}"_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single ${package}_*.deb in $build"
deb=$work/$(basename "${debs[0]}")
cp "${debs[0]}" "$deb"
chmod 644 "$deb"
say "$(basename "$deb"): $(stat -c %s "$deb") bytes, made in $(since "$t")"
say "Depends: $(dpkg-deb -f "$deb" Depends)"
[ "$(dpkg-deb -f "$deb" Package)" = "$package" ] || fail "wrong package name"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"

# 2. Install it as a user would.
installed_list >"$work/before"
installed=1
t=$(now_ms)
apt_get install -y "$deb" >"$work/install.log" 2>&1 || {
    cat "$work/install.log" >&2
    fail "apt-get install $deb failed"
}
[ "$(package_state)" = ii ] || fail "$package is not installed after apt-get install"
say "installed in $(since "$t")"

# 3. What it put where: the command on the PATH, the side files beside the
# program, the menu entry and its icon.
lib=/usr/lib/$package
[ "$(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin command -v "$package")" = "/usr/bin/$package" ] ||
    fail "no $package command in /usr/bin"
[ "$(readlink -f "/usr/bin/$package")" = "$lib/$package" ] || fail "/usr/bin/$package does not lead to $lib/$package"
for f in "$package" Player.exe tool mpls-dump disc-dump; do
    [ -x "$lib/$f" ] || fail "$lib/$f missing or not executable"
done
for f in config.ini Languages/English.ini guide/index.html; do
    [ -f "$lib/$f" ] || fail "$lib/$f missing"
done
entry=/usr/share/applications/$package.desktop
[ -f "$entry" ] || fail "no menu entry $entry"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "$entry does not validate"
fi
exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry" | head -n 1)
[ "$(command -v "$exec_cmd")" = "/usr/bin/$package" ] || fail "the entry's Exec ($exec_cmd) is not the installed command"
icon=$(sed -n 's/^Icon=//p' "$entry" | head -n 1)
[ -f "/usr/share/icons/hicolor/48x48/apps/$icon.png" ] && [ -f "/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
    fail "icon '$icon' missing from the hicolor theme"

# 4. Everything it needs is declared. The linker's view: each library an
# installed binary loads directly comes from a package named in Depends. Not
# visible to the linker: the engine, the probe, the fonts, and the X platform
# plugin Qt loads at run time.
depends=$(dpkg-query -W -f='${Depends}' "$package" | tr ',|' '\n' | sed 's/(.*)//; s/:.*//; s/ //g' | sort -u)
declared() { grep -qx "$1" <<<"$depends"; }
xcb_owner=$(dpkg -S '*/qt6/plugins/platforms/libqxcb.so' 2>/dev/null | head -n 1 | cut -d: -f1)
for p in mplayer ffmpeg fonts-crosextra-carlito fonts-noto-cjk libbluray2 ${xcb_owner:-libqt6gui6}; do
    declared "$p" || fail "Depends lacks $p"
done
while read -r f; do
    [ -f "$f" ] && [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = 177ELF ] || continue
    ldd "$f" >"$work/ldd" 2>&1 || fail "ldd $f failed"
    ! grep -q 'not found' "$work/ldd" || fail "$f: $(grep 'not found' "$work/ldd" | tr '\n' ' ')"
    for needed in $(objdump -p "$f" | awk '$1 == "NEEDED" { print $2 }'); do
        # The dynamic loader is listed by its path alone, without "=>".
        path=$(awk -v n="$needed" '($1 == n && $2 == "=>") { print $3 } ($1 ~ "/" n "$") { print $1 }' "$work/ldd" |
            head -n 1)
        owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "$(readlink -f "$path")" 2>/dev/null || true)
        owner=${owner%%:*}
        [ -n "$owner" ] || fail "$f needs $needed ($path), which no package owns"
        declared "$owner" || fail "$f needs $needed from $owner, which Depends does not name"
    done
done < <(dpkg -L "$package")
for p in mplayer ffmpeg; do command -v "$p" >/dev/null || fail "$p is not on the PATH after installation"; done
say "files, menu entry, icon and dependencies in place"

# 5. The installed program starts on an X display and closes.
t=$(now_ms)
xvfb-run -a -s "-screen 0 1280x800x24 -nolisten tcp" "$(readlink -f "$0")" --start-check "$work" </dev/null ||
    fail "the installed program did not start and close cleanly"
say "start check in $(since "$t")"
