# Shared by the run, test and emulator scripts: a Wine prefix inside the build tree that cannot
# reach the host's files. Source it, then call the functions below.
#
# Layout: <build>/wine/prefix is the prefix, <build>/wine/home stands in for $HOME, drive C: is the
# prefix's own, D: is <build>/wine/drive_d, T: is the build tree; there is no Z: (the host's /),
# and the user's shell folders are real folders rather than links into $HOME. The tests use
# <build>/wine; run.sh keeps the same layout in a folder of its own, <build>/wine-run.

# The build tree of a package, 32 or 64: build/ (or $AK_BUILD_DIR) for the 32-bit one, the product's
# default, and the same name with "-x64" for the 64-bit one.
ak_tree() {
    local root=$1 bits=$2
    local build=${AK_BUILD_DIR:-$root/build}
    [ "$bits" = 64 ] && build=$build-x64
    echo "$build"
}

ak_toolchain() {
    [ "$1" = 64 ] && echo mingw-x86_64.cmake || echo mingw-i686.cmake
}

# Whether this host's kernel runs 32-bit programs, which Wine's 32-bit loader is. Where it does not,
# no 32-bit Windows program runs here at all.
ak_host_runs_32bit() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# One line that says why this host runs no 32-bit programs, in the loader's own words.
ak_why_no_32bit() {
    local error
    error=$(/usr/lib/wine/wine --version 2>&1 | tail -n 1)
    echo "This host runs no 32-bit programs (/usr/lib/wine/wine: ${error##*: }), so only the 64-bit package runs here."
}

# Whether a build tree's package runs on this host: a 64-bit one everywhere, a 32-bit one only where
# the host runs 32-bit programs.
ak_tree_runs_here() {
    grep -q '^AK_64BIT:INTERNAL=ON' "$1/CMakeCache.txt" 2>/dev/null || ak_host_runs_32bit
}

# Runs Wine's loader: the 32-bit one where the host takes it (it hands 64-bit programs on to the
# 64-bit one), else the 64-bit one, which runs 64-bit programs only.
ak_wine() {
    if ak_host_runs_32bit; then
        wine "$@"
    else
        WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 "$@"
    fi
}

# Points Wine at a build tree and at the folder inside it that holds the prefix, its home and drive
# D: (and the private X server's files): <build>/wine, the tests', unless another is given.
ak_wine_env() {
    local build=$1
    export AK_WINE_TREE=$build
    export AK_WINE_DIR=${2:-$build/wine}
    export WINEPREFIX=$AK_WINE_DIR/prefix
    export HOME=$AK_WINE_DIR/home
    export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
    # 64-bit, as most Windows is today: the 32-bit programs run under WOW64.
    export WINEARCH=win64
    export WINEDEBUG=-all
    # No menu entries on the host, no offers to download browser or .NET runtimes, and no debugger
    # waiting for input when a program crashes: the crash ends the program and its test fails.
    export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d;winedbg.exe=d"
    mkdir -p "$HOME" "$AK_WINE_DIR/drive_d"
}

# Runs one of Wine's set-up steps; when it fails, says what could not be done in Wine's own words.
# They go to a file first: Wine's background programs keep the output they were started with open,
# and a pipe read to its end would wait for them.
ak_wine_step() {
    local what=$1 log=$AK_WINE_DIR/step.log
    shift
    if ! "$@" >"$log" 2>&1 </dev/null; then
        echo "Wine could not $what. It said:" >&2
        cat "$log" >&2
        return 1
    fi
}

# Creates the prefix once; later calls find it ready.
ak_make_prefix() {
    local build=$AK_WINE_TREE
    [ -f "$WINEPREFIX/.ak-ready" ] && return 0
    rm -rf "$WINEPREFIX"
    mkdir -p "$AK_WINE_DIR"
    local log=$AK_WINE_DIR/wineboot.log
    # A 64-bit prefix made by the 64-bit loader alone says it cannot start the 32-bit rundll32.
    if ! ak_wine wineboot -i >"$log" 2>&1 || ! wineserver -w || [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Wine could not make its prefix at $WINEPREFIX. wineboot said:" >&2
        cat "$log" >&2
        wineserver -k 2>/dev/null || true
        return 1
    fi
    local link
    find "$WINEPREFIX/drive_c/users" -type l | while IFS= read -r link; do
        rm "$link"
        mkdir "$link"
    done
    rm -f "$WINEPREFIX/dosdevices/z:" "$WINEPREFIX/dosdevices/d:" "$WINEPREFIX/dosdevices/t:"
    ln -s "$AK_WINE_DIR/drive_d" "$WINEPREFIX/dosdevices/d:"
    ln -s "$build" "$WINEPREFIX/dosdevices/t:"
    # Wine draws the caption buttons with its Marlett font, which it does not find by itself here.
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
    # Text files open in Notepad, as on Windows.
    ak_wine_step "make text files open in Notepad in $WINEPREFIX" ak_wine reg add 'HKCR\.txt' /ve /d txtfile /f
    wineserver -w
    touch "$WINEPREFIX/.ak-ready"
}

# The Windows name of a file inside the build tree: T:\...
ak_windows_path() {
    local full
    full=$(realpath -m "$1")
    local build
    build=$(realpath -m "$AK_WINE_TREE")
    case "$full" in
        "$build"/*) ;;
        *) echo "not inside the build tree: $1" >&2; return 1 ;;
    esac
    local rest=${full#"$build"/}
    echo "T:\\${rest//\//\\}"
}

# Starts a private X server and records its display; prints the display name.
ak_start_xvfb() {
    local dir=$AK_WINE_DIR
    rm -f "$dir/xvfb.display"
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$dir/xvfb.display" >"$dir/xvfb.log" 2>&1 &
    echo $! > "$dir/xvfb.pid"
    local i
    for i in $(seq 1 100); do
        [ -s "$dir/xvfb.display" ] && break
        sleep 0.1
    done
    if [ ! -s "$dir/xvfb.display" ]; then
        echo "Xvfb did not start. It said:" >&2
        cat "$dir/xvfb.log" >&2
        return 1
    fi
    echo ":$(head -n 1 "$dir/xvfb.display")"
}

# Keeps one Wine server and the system's background programs running for a whole test run, started
# apart from the tests' output pipes so that no test waits on them.
ak_start_wine() {
    ak_wine_step "start its server for $WINEPREFIX" wineserver -p
    ak_wine_step "start its background programs in $WINEPREFIX" ak_wine cmd /c exit
}

# An X server that has already gone is no failure: this runs as a session ends, where a failed
# command would replace the run's own exit status.
ak_stop_xvfb() {
    local dir=$AK_WINE_DIR
    if [ -f "$dir/xvfb.pid" ]; then
        kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
        rm -f "$dir/xvfb.pid" "$dir/xvfb.display"
    fi
}

# The package the host runs, 32 or 64: the 32-bit one wherever it can.
ak_runnable_bits() {
    ak_host_runs_32bit && echo 32 || echo 64
}

# Builds one package (32 or 64) and points Wine at a prefix in its tree: the tests', or the one in
# the folder named third (such as wine-run).
ak_build() {
    local root=$1 bits=$2
    "$root/scripts/build.sh" "$bits"
    local build
    build=$(ak_tree "$root" "$bits")
    ak_wine_env "$build" ${3:+"$build/$3"}
}

# A private X server and one Wine server until the calling script ends, when both are stopped
# with every Windows program still running. Pass "fresh" to start from a new prefix.
ak_start_session() {
    if [ "${1:-}" = fresh ]; then
        rm -rf "$AK_WINE_DIR"
        ak_wine_env "$AK_WINE_TREE" "$AK_WINE_DIR"
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
    ak_wine_step "set whether a window manager frames its windows" \
        ak_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$1" /f
}

ak_end_session() {
    wineserver -k 2>/dev/null || true
    ak_stop_xvfb
}

