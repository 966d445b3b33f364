# Sourced by the scripts: where the build lives and how Wine runs in it.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KS_BUILD_DIR:-$root/build}
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

ks_configure_and_build() {
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=${KS_BUILD_TYPE:-Release} >/dev/null
  cmake --build "$build" "$@"
}

# Wine maps one page of each new process at a fixed address. With the address space laid out at
# random, about one start in 4,000 finds that place taken and the program dies before its first
# line ("failed to map the shared user data", c0000018): CreateProcessW answers 1359, or a test
# program ends at once with no output. A fixed layout, inherited by every process started from
# here on, never collides. Re-runs the calling script so; call it first, with "$0" "$@".
ks_fixed_address_layout() {
  [ "${KS_FIXED_LAYOUT:-}" = 1 ] && return 0
  if setarch "$(uname -m)" -R true 2>/dev/null; then
    export KS_FIXED_LAYOUT=1
    exec setarch "$(uname -m)" -R "$@"
  fi
  echo "env: this machine refuses a fixed address layout; a Wine start may fail now and then" >&2
}

# A warm wineserver makes each program start in ~60 ms; stop it when the caller exits.
ks_start_wineserver() {
  wineserver -p </dev/null >/dev/null 2>&1 || true
  # Start Wine's own services now, away from our output: started by a test program they would
  # inherit CTest's pipe and hold it open after the program ends.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  # The suite runs on Windows 10 and later; a new prefix may report an older version.
  wine reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d win10 /f </dev/null >/dev/null 2>&1 || true
  trap 'wineserver -k </dev/null >/dev/null 2>&1 || true' EXIT
}
