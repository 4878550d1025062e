# Shared settings of tools/test and tools/demo: build folders, Wine prefix,
# display. Sourced, not run. Every value can be overridden from outside, so
# several builds can run side by side (BUILD_DIR, WINEPREFIX).
#
# Two builds: the shipped 32-bit one (i686, deliverables only), and the one
# the tests run on. The tests run on the 32-bit build where this machine can
# execute 32-bit code; where the kernel refuses 32-bit programs (some virtual
# machines do), they run on a 64-bit build of the same sources under 64-bit
# Wine, and the 32-bit deliverables are still built.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono, no Gecko, no sound drivers: nothing here needs them, and a sound
# device that is not there delays every message box.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winealsa.drv,winepulse.drv,wineoss.drv=}"

# Installs what a fresh Debian 12 machine lacks; a warm machine pays nothing.
ensure_packages() {
  local need=()
  command -v i686-w64-mingw32-g++-win32 >/dev/null || need+=(mingw-w64)
  dpkg -s wine >/dev/null 2>&1 || need+=(wine)
  dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
  dpkg -s wine64 >/dev/null 2>&1 || need+=(wine64)
  command -v Xvfb >/dev/null || need+=(xvfb)
  command -v xauth >/dev/null || need+=(xauth)
  command -v cmake >/dev/null || need+=(cmake)
  command -v import >/dev/null || need+=(imagemagick)
  [ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
  # The native sanitizer build of the parsers and its fuzzer.
  command -v clang++ >/dev/null || need+=(clang)
  dpkg -s libclang-rt-14-dev >/dev/null 2>&1 || need+=(libclang-rt-14-dev)
  [ ${#need[@]} -eq 0 ] && return 0
  echo "tools: installing ${need[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  # A fresh machine may still be running its own package jobs at boot: wait
  # for the package lock (bounded). A mirror in the middle of its sync fails
  # the index update of one list while the others are fine: the install is
  # tried whatever the update said, and a failed round is tried again later.
  local apt=(-o DPkg::Lock::Timeout=300 -o Acquire::Retries=3)
  local try tries=5 suite
  suite="$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")"
  for try in $(seq 1 $tries); do
    $sudo apt-get "${apt[@]}" update -qq ||
      echo "tools: the package index update reported an error (try $try of $tries)" >&2
    if DEBIAN_FRONTEND=noninteractive $sudo apt-get "${apt[@]}" install -y -qq "${need[@]}" >/dev/null; then
      return 0
    fi
    # With one architecture's update list missing, a 32-bit library can't
    # match the newer 64-bit one the other lists offer: the release's own
    # suite has the same versions for both.
    if [ -n "$suite" ] && DEBIAN_FRONTEND=noninteractive $sudo apt-get "${apt[@]}" install -y -qq \
      -t "$suite" "${need[@]}" >/dev/null; then
      return 0
    fi
    echo "tools: installing ${need[*]} failed (try $try of $tries)" >&2
    [ "$try" -lt "$tries" ] && sleep $((try * 30))
  done
  df -h / /tmp >&2
  return 1
}

# Picks the architecture the tests run on: i686 when 32-bit Wine starts here.
choose_test_arch() {
  if [ -z "${LUMETRA_TEST_ARCH:-}" ]; then
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
      LUMETRA_TEST_ARCH=i686
    else
      LUMETRA_TEST_ARCH=x86_64
    fi
  fi
  if [ "$LUMETRA_TEST_ARCH" = i686 ]; then
    export WINEARCH=win32
    WINE=/usr/lib/wine/wine
  else
    export WINEARCH=win64
    WINE=/usr/lib/wine/wine64
  fi
  export WINEPREFIX="${WINEPREFIX:-$ROOT/.wine-$LUMETRA_TEST_ARCH}"
  TEST_BUILD_DIR="$BUILD_DIR/$LUMETRA_TEST_ARCH"
  SHIP_BUILD_DIR="$BUILD_DIR/i686"
  export LUMETRA_TEST_ARCH WINE
}

# Starts Xvfb on a free display; its streams are detached so that nothing of
# it holds the caller's pipes.
XVFB_PID=""
start_display() {
  local n
  for n in $(seq 91 160); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 1 50); do
      [ -e /tmp/.X11-unix/X$n ] && return 0
      kill -0 "$XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill "$XVFB_PID" 2>/dev/null
  done
  echo "tools: no free display for Xvfb" >&2
  return 1
}

# A project-local prefix that reports Windows XP (5.1, "Microsoft Windows XP")
# and a persistent wineserver started with detached streams: Wine's service
# processes inherit the streams of whoever starts them first.
start_wine() {
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ ! -f "$WINEPREFIX/.lumetra-ready" ]; then
    rm -rf "$WINEPREFIX"
    "$WINE" wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w </dev/null >/dev/null 2>&1
    if [ "$WINEARCH" = win32 ]; then
      "$WINE" winecfg -v winxp </dev/null >/dev/null 2>&1
    else
      # 64-bit Wine refuses "winxp" in winecfg; "winxp64" sets the product
      # name, the Wine version key then makes the version 5.1 as on XP.
      "$WINE" winecfg -v winxp64 </dev/null >/dev/null 2>&1
      "$WINE" reg add 'HKCU\Software\Wine' /v Version /d winxp /f </dev/null >/dev/null 2>&1
    fi
    wineserver -w </dev/null >/dev/null 2>&1
    touch "$WINEPREFIX/.lumetra-ready"
  fi
  wineserver -p </dev/null >/dev/null 2>&1
  if [ ! -f "$WINEPREFIX/.lumetra-unmanaged" ]; then
    # Without a window manager, Wine waits 2 s for each visible window to be
    # withdrawn unless it leaves the windows unmanaged.
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    touch "$WINEPREFIX/.lumetra-unmanaged"
  fi
  "$WINE" wineboot </dev/null >/dev/null 2>&1
}

stop_all() {
  wineserver -k </dev/null >/dev/null 2>&1 || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
}

# configure BUILD_FOLDER ARCH TESTS(ON|OFF): the log is shown when it fails.
configure() {
  local dir="$1" arch="$2" tests="$3"
  mkdir -p "$dir"
  cmake -S "$ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$arch-w64-mingw32.cmake" \
    -DLUMETRA_TESTS="$tests" >"$dir/configure.log" 2>&1 || { cat "$dir/configure.log"; return 1; }
}

# configure_and_build BUILD_FOLDER ARCH TESTS(ON|OFF)
configure_and_build() {
  local dir="$1"
  configure "$@" || return 1
  local rc=0
  cmake --build "$dir" -j"$(nproc)" >"$dir/build.log" 2>&1 || rc=$?
  # Warnings and errors only; progress lines stay in the log.
  grep -Ev '^\[ *[0-9]+%\]|^Consolidate compiler|^g?make|^-- Install configuration' "$dir/build.log" || true
  return $rc
}
