# Shared by the run, test and emulator scripts: a Wine prefix inside the build tree that cannot
# reach the host's files. Source it, then call the functions below.
#
# Layout: <build>/wine/prefix is the prefix, <build>/wine/home stands in for $HOME, drive C: is the
# prefix's own, D: is <build>/wine/drive_d, T: is the build tree; there is no Z: (the host's /),
# and the user's shell folders are real folders rather than links into $HOME.

ak_wine_env() {
    local build=$1
    export AK_BUILD_DIR=$build
    export WINEPREFIX=$build/wine/prefix
    export HOME=$build/wine/home
    export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
    # 64-bit, as most Windows is today: the 32-bit programs run under WOW64.
    export WINEARCH=win64
    export WINEDEBUG=-all
    # No menu entries on the host, no offers to download browser or .NET runtimes, and no debugger
    # waiting for input when a program crashes: the crash ends the program and its test fails.
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d;winedbg.exe=d"
    mkdir -p "$HOME" "$build/wine/drive_d"
}

# Creates the prefix once; later calls find it ready.
ak_make_prefix() {
    local build=$AK_BUILD_DIR
    [ -f "$WINEPREFIX/.ak-ready" ] && return 0
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    local link
    find "$WINEPREFIX/drive_c/users" -type l | while IFS= read -r link; do
        rm "$link"
        mkdir "$link"
    done
    rm -f "$WINEPREFIX/dosdevices/z:" "$WINEPREFIX/dosdevices/d:" "$WINEPREFIX/dosdevices/t:"
    ln -s "$build/wine/drive_d" "$WINEPREFIX/dosdevices/d:"
    ln -s "$build" "$WINEPREFIX/dosdevices/t:"
    # Wine draws the caption buttons with its Marlett font, which it does not find by itself here.
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    # Text files open in Notepad, as on Windows.
    wine reg add 'HKCR\.txt' /ve /d txtfile /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.ak-ready"
}

# The Windows name of a file inside the build tree: T:\...
ak_windows_path() {
    local full
    full=$(realpath -m "$1")
    local build
    build=$(realpath -m "$AK_BUILD_DIR")
    case "$full" in
        "$build"/*) ;;
        *) echo "not inside the build tree: $1" >&2; return 1 ;;
    esac
    local rest=${full#"$build"/}
    echo "T:\\${rest//\//\\}"
}

# Starts a private X server and records its display; prints the display name.
ak_start_xvfb() {
    local dir=$AK_BUILD_DIR/wine
    rm -f "$dir/xvfb.display"
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$dir/xvfb.display" >"$dir/xvfb.log" 2>&1 &
    echo $! > "$dir/xvfb.pid"
    local i
    for i in $(seq 1 100); do
        [ -s "$dir/xvfb.display" ] && break
        sleep 0.1
    done
    [ -s "$dir/xvfb.display" ] || { echo "Xvfb did not start; see $dir/xvfb.log" >&2; return 1; }
    echo ":$(head -n 1 "$dir/xvfb.display")"
}

# Keeps one Wine server and the system's background programs running for a whole test run, started
# apart from the tests' output pipes so that no test waits on them.
ak_start_wine() {
    wineserver -p
    wine cmd /c exit >/dev/null 2>&1 </dev/null
}

ak_stop_xvfb() {
    local dir=$AK_BUILD_DIR/wine
    if [ -f "$dir/xvfb.pid" ]; then
        kill "$(cat "$dir/xvfb.pid")" 2>/dev/null
        rm -f "$dir/xvfb.pid" "$dir/xvfb.display"
    fi
}

# Installs what is missing, builds into $build and points Wine at its prefix there.
ak_build() {
    local root=$1 build=$2
    "$root/scripts/deps.sh"
    AK_BUILD_DIR=$build "$root/scripts/build.sh"
    ak_wine_env "$build"
}

# A private X server and one Wine server until the calling script ends, when both are stopped
# with every Windows program still running. Pass "fresh" to start from a new prefix.
ak_start_session() {
    if [ "${1:-}" = fresh ]; then
        rm -rf "$AK_BUILD_DIR/wine"
        ak_wine_env "$AK_BUILD_DIR"
    fi
    ak_make_prefix
    trap ak_end_session EXIT
    export DISPLAY
    DISPLAY=$(ak_start_xvfb)
    ak_start_wine
    # There is no window manager on the private X server: Wine then draws the captions itself, and
    # does not wait two seconds for a window manager to confirm every window it hides.
    ak_window_manager N
}

# Whether the desktop's window manager frames Wine's windows (Y, the default) or Wine does (N).
ak_window_manager() {
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$1" /f >/dev/null 2>&1
}

ak_end_session() {
    wineserver -k 2>/dev/null || true
    ak_stop_xvfb
}

