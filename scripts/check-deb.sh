#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it with dpkg-deb -x into a temporary
# tree and checks what an installation would hold: the control fields, the files, the menu
# entry and metainfo, and the unpacked programs themselves, run as an ordinary user whose
# program folder is read-only (the window on Qt's offscreen platform).
#
#   scripts/check-deb.sh [--build] [--keep] [BUILD_DIR]     (BUILD_DIR defaults to build/)
#
# --build builds BUILD_DIR first; --keep leaves the temporary folder (and the .deb) in place.
# Exit status: 0 every check passed, 1 a check failed, 77 a tool it needs is missing.
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build"
do_build=0
keep=0
for arg in "$@"; do
    case "$arg" in
    --build) do_build=1 ;;
    --keep) keep=1 ;;
    -*) echo "usage: $0 [--build] [--keep] [BUILD_DIR]" >&2; exit 2 ;;
    *) build="$(cd "$arg" && pwd)" ;;
    esac
done

skip() { echo "check-deb: SKIPPED: $*"; exit 77; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

for tool in cpack dpkg-deb iconv; do
    command -v "$tool" >/dev/null || skip "$tool is missing"
done
[ -f "$build/CPackConfig.cmake" ] || skip "$build is not a configured build folder"
if [ "$do_build" -eq 1 ]; then
    cmake --build "$build" || exit 1
fi

# The programs run as an ordinary user: root may write anywhere, which would hide where
# config.ini goes when the program folder is not writable.
run_as=()
if [ "$(id -u)" -eq 0 ]; then
    command -v setpriv >/dev/null || skip "setpriv is missing (needed to run as an ordinary user)"
    run_as=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
fi

work="$(mktemp -d /tmp/vellomar-deb.XXXXXX)"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    if [ "$keep" -eq 1 ]; then
        echo "check-deb: kept $work"
    else
        chmod -R u+w "$work" 2>/dev/null
        rm -rf "$work"
    fi
}
trap cleanup EXIT
chmod 755 "$work"

# --- The package ---------------------------------------------------------------------------------------
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
debs=("$work"/pkg/*.deb)
[ -f "${debs[0]}" ] || { echo "FAIL: cpack made no .deb"; exit 1; }
deb="${debs[0]}"
pass "built $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ "$(field Package)" = vellomar ] && pass "Package: vellomar" || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] && pass "Version: $version" || fail "Version '$(field Version)', project $version"
[ -n "$(field Maintainer)" ] && pass "Maintainer: $(field Maintainer)" || fail "no Maintainer"
depends="$(field Depends)"
echo "      Depends: $depends"
echo "      Recommends: $(field Recommends)"
for dep in libqt6core6 libqt6gui6 libqt6widgets6 libopencc1.1 libopencc-data libpcre2-16-0 libdeflate0; do
    grep -Eq "(^|[ ,|])$dep( |,|$)" <<<"$depends" && pass "depends on $dep" || fail "Depends lacks $dep"
done
grep -q 'fonts-wqy-microhei | fonts-noto-cjk' <<<"$(field Recommends)" && pass "recommends a CJK font" ||
    fail "Recommends lacks a CJK font"
# Every package named must exist in this system's archive: a misspelt one makes the .deb uninstallable.
if command -v apt-cache >/dev/null; then
    for pkg in $(sed -e 's/([^)]*)//g' -e 's/[,|]/ /g' <<<"$depends, $(field Recommends)"); do
        apt-cache show --no-all-versions "$pkg" >/dev/null 2>&1 || fail "no package '$pkg' in the archive"
    done
fi

# --- The installed files -------------------------------------------------------------------------------
tree="$work/tree"
dpkg-deb -x "$deb" "$tree" || { echo "FAIL: dpkg-deb -x"; exit 1; }
desktop="$tree/usr/share/applications/io.github.vellomar.Vellomar.desktop"
metainfo="$tree/usr/share/metainfo/io.github.vellomar.Vellomar.metainfo.xml"
for f in usr/bin/vellomar usr/bin/vellomar-cli; do
    [ -x "$tree/$f" ] && pass "/$f" || fail "/$f missing or not executable"
done
for f in "$desktop" "$metainfo" "$tree/usr/share/icons/hicolor/scalable/apps/vellomar.svg" "$tree/usr/share/vellomar/说明.txt"; do
    [ -s "$f" ] && pass "${f#"$tree"}" || fail "${f#"$tree"} missing"
done
for size in 16 24 32 48 64 128 256; do
    png="$tree/usr/share/icons/hicolor/${size}x${size}/apps/vellomar.png"
    if [ ! -s "$png" ]; then
        fail "${png#"$tree"} missing"
        continue
    fi
    # The PNG header's width and height, big-endian, at bytes 16 to 23.
    read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "$w x $h" = "$size x $size" ] && pass "${size}x${size} icon" || fail "${png#"$tree"} is $w x $h"
done

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" && pass "desktop-file-validate" || fail "desktop-file-validate"
else
    echo "note: desktop-file-validate not installed (package desktop-file-utils): menu entry not validated"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 && pass "appstreamcli validate" ||
        { cat "$work/appstream.log"; fail "appstreamcli validate"; }
else
    echo "note: appstreamcli not installed (package appstream): metainfo not validated"
fi
exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
[ -x "$tree/usr/bin/$exec_name" ] && pass "Exec=$exec_name is installed" || fail "Exec=$exec_name is not in /usr/bin"
icon_name="$(sed -n 's/^Icon=//p' "$desktop")"
[ -f "$tree/usr/share/icons/hicolor/48x48/apps/$icon_name.png" ] && pass "Icon=$icon_name is installed" ||
    fail "Icon=$icon_name has no hicolor file"
grep -q '<launchable type="desktop-id">io.github.vellomar.Vellomar.desktop</launchable>' "$metainfo" &&
    pass "metainfo launches the menu entry" || fail "metainfo's launchable is not the .desktop file"
grep -q "<release version=\"$version\"" "$metainfo" && pass "metainfo release $version" ||
    fail "metainfo has no release $version"

# --- The installed programs ----------------------------------------------------------------------------
# As installed under /usr: the program folder is not writable, so config.ini must go to
# $XDG_CONFIG_HOME/vellomar.
chmod a-w "$tree/usr/bin"
user_home() {
    mkdir -p "$1/.config" "$1/run"
    chmod 700 "$1/run"
    [ "$(id -u)" -eq 0 ] && chown -R 65534:65534 "$1"
}
# Sets `as_user` to the command prefix that runs a program as that user with a clean
# environment. A prefix, not a function: started in the background, $! is then the program's
# own process (setpriv and env replace themselves with it).
user_env() { # HOME
    as_user=("${run_as[@]}" env -i PATH=/usr/bin:/bin HOME="$1" XDG_CONFIG_HOME="$1/.config"
        XDG_RUNTIME_DIR="$1/run" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen)
}
wait_for() { # SECONDS TEST...: polls until the test holds
    local until=$((SECONDS + $1))
    shift
    while ! "$@"; do
        [ "$SECONDS" -ge "$until" ] && return 1
        sleep 0.2
    done
}

home="$work/home"
user_home "$home"
user_env "$home"
cli_version="$("${as_user[@]}" "$tree/usr/bin/vellomar-cli" --version 2>&1)"
[[ "$cli_version" == *"v${version%.*}"* ]] && pass "vellomar-cli --version: $cli_version" ||
    fail "vellomar-cli --version printed '$cli_version'"

# A GBK novel titled with 回, which the built-in pattern does not know: titles are found only
# when the per-user config.ini (with a 回 pattern) is the one read.
novel="$work/novel.txt"
{
    printf '楔子\r\n'
    for n in 一 二 三; do
        printf '第%s回 故事\r\n' "$n"
        for _ in 1 2 3 4 5 6; do printf '正文一行。\r\n'; done
    done
} | iconv -f UTF-8 -t GBK >"$novel"
chmod 644 "$novel"
"${as_user[@]}" "$tree/usr/bin/vellomar-cli" list "$novel" >/dev/null 2>&1
status=$?
[ "$status" -eq 3 ] && pass "without a config the 回 titles are not found" ||
    fail "vellomar-cli list without a config: exit $status, expected 3"
userconf="$home/.config/vellomar/config.ini"
mkdir -p "$(dirname "$userconf")"
printf '[text]\r\nTitleText=第([0-9一二三四五六七八九十百千万零两〇○]+)[章回节][\\s\\t　]*(.*)\r\n' |
    iconv -f UTF-8 -t GBK >"$userconf"
[ "$(id -u)" -eq 0 ] && chown -R 65534:65534 "$home/.config"
titles="$("${as_user[@]}" "$tree/usr/bin/vellomar-cli" list "$novel" 2>/dev/null | wc -l)"
[ "$titles" -eq 3 ] && pass "vellomar-cli reads \$XDG_CONFIG_HOME/vellomar/config.ini (3 titles)" ||
    fail "vellomar-cli with the per-user config listed $titles titles, expected 3"

# A book needs the cover module the package installs beside the programs' libraries.
book="$home/book.epub"
"${as_user[@]}" "$tree/usr/bin/vellomar-cli" epub "$novel" --out "$book" >/dev/null 2>"$work/epub.err"
status=$?
# grep reads the whole listing: with -q it could leave before unzip has written its last lines,
# and unzip, cut off (SIGPIPE), would fail the pipeline.
[ "$status" -eq 0 ] && unzip -l "$book" 2>/dev/null | grep 'images/cover.jpg' >/dev/null &&
    pass "vellomar-cli epub draws the cover through the installed module" ||
    fail "vellomar-cli epub: exit $status, $(cat "$work/epub.err"; ls -la "$home")"

# The window with the novel and two arguments it must ignore: the novel is opened (its file is
# held open by the program) and the others are named on stderr.
novel_is_open() { # PID
    local fd
    for fd in /proc/"$1"/fd/*; do
        [ "$(readlink "$fd" 2>/dev/null)" = "$novel" ] && return 0
    done
    return 1
}
"${as_user[@]}" "$tree/usr/bin/vellomar" "$novel" --bogus extra.txt 2>"$work/gui.err" >/dev/null &
gui=$!
pids+=("$gui")
if wait_for 20 novel_is_open "$gui"; then
    pass "vellomar NOVEL opens the novel at start"
else
    fail "vellomar did not open the novel within 20 s"
    cat "$work/gui.err"
fi
kill -0 "$gui" 2>/dev/null && pass "the window is still running" || fail "the window exited early"
kill "$gui" 2>/dev/null
wait "$gui" 2>/dev/null
grep -q 'ignoring argument "--bogus"' "$work/gui.err" && grep -q 'ignoring argument "extra.txt"' "$work/gui.err" &&
    pass "other arguments named on stderr" || { cat "$work/gui.err"; fail "ignored arguments not reported"; }

# First start of the window with no config anywhere: it settles on the per-user folder (and
# waits on its missing-config warning, which nobody answers here).
home2="$work/home2"
user_home "$home2"
user_env "$home2"
"${as_user[@]}" "$tree/usr/bin/vellomar" >/dev/null 2>"$work/gui2.err" &
gui2=$!
pids+=("$gui2")
if wait_for 20 test -d "$home2/.config/vellomar"; then
    pass "first start uses \$XDG_CONFIG_HOME/vellomar"
else
    fail "first start did not create \$XDG_CONFIG_HOME/vellomar"
    cat "$work/gui2.err"
fi
sleep 1
kill -0 "$gui2" 2>/dev/null && pass "first start is running" || { cat "$work/gui2.err"; fail "first start exited"; }
[ ! -e "$tree/usr/bin/config.ini" ] && pass "nothing written beside the program" ||
    fail "config.ini written into the program folder"

if [ "$failures" -gt 0 ]; then
    echo "check-deb: $failures check(s) failed"
    exit 1
fi
echo "check-deb: all checks passed for $(basename "$deb")"
