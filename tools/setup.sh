# Shared set-up for ./run and ./test: installs the Debian packages the build
# needs when they are missing, then configures and builds into build/ (or
# build-sanitize/ for the sanitized build).
# Sourced, not executed.

ORVELLO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ORVELLO_BUILD=${ORVELLO_BUILD:-$ORVELLO_ROOT/build}
# libssl-dev: libcrypto's SHA-1 and SHA-256 for the package and game-file checks.
# qt6-wayland: Qt's Wayland plugins, which the portable bundle carries.
ORVELLO_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-wayland libgtest-dev libssl-dev fonts-dejavu-core)
# The package tests (tests/package) run only as root and need these too:
# dpkg-shlibdeps for the package's Depends, the validators, an X server
# with tools to find the launcher's window, debootstrap for the bundle's clean
# Debian 12 root and Weston for its Wayland check.
ORVELLO_PACKAGE_TEST_PACKAGES=(dpkg-dev desktop-file-utils appstream lintian man-db xvfb xauth x11-utils xdotool
                               debootstrap weston)
# The tests install these too: strace traces an import's system calls.
ORVELLO_TEST_PACKAGES=(strace)
ORVELLO_CMAKE_OPTIONS=()   # extra -D options for a fresh configure

orvello_missing_packages() {
  local pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}\n' "$pkg" 2>/dev/null | grep -q '^install ok installed$' ||
      printf '%s\n' "$pkg"
  done
}

orvello_ensure_packages() {
  local missing
  missing=$(orvello_missing_packages "${ORVELLO_PACKAGES[@]}" "$@")
  [ -z "$missing" ] && return 0
  echo "Installing missing packages: $(echo $missing)" >&2
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq $missing >&2
}

# Switches to the sanitized build in build-sanitize/: AddressSanitizer with
# leak detection and UndefinedBehaviorSanitizer, every finding fatal. The
# options are exported so that they reach every program the tests start (the
# decoder, the stand-in runtime); options already in the environment win.
# Reports go to files in ORVELLO_SANITIZER_REPORTS rather than to standard
# error, so that a finding in a detached program (the stand-in game) is seen
# too: orvello_check_sanitizer_reports shows them.
orvello_use_sanitizers() {
  ORVELLO_BUILD=$ORVELLO_ROOT/build-sanitize
  ORVELLO_SANITIZER_REPORTS=$ORVELLO_BUILD/sanitizer-reports
  # The package test checks what the plain build ships, so it stays out.
  ORVELLO_CMAKE_OPTIONS+=(-DORVELLO_SANITIZE=ON -DORVELLO_BUILD_BENCHMARKS=OFF -DORVELLO_BUILD_PICTURE_TOOLS=OFF
                          "-DORVELLO_TEST_AREAS=decoder;roundtrip;supervisor;launcher;import;verify;faults;soak")
  local report="log_path=$ORVELLO_SANITIZER_REPORTS/report:log_exe_name=1"
  export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:$report${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:$report${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
  rm -rf "$ORVELLO_SANITIZER_REPORTS"
  mkdir -p "$ORVELLO_SANITIZER_REPORTS"
}

# Prints every sanitizer report written since orvello_use_sanitizers and
# fails when there is one.
orvello_check_sanitizer_reports() {
  local reports=() file
  mapfile -t reports < <(find "$ORVELLO_SANITIZER_REPORTS" -type f | sort)
  [ ${#reports[@]} -eq 0 ] && return 0
  for file in "${reports[@]}"; do
    echo "--- sanitizer report $file" >&2
    cat "$file" >&2
  done
  echo "The sanitizers wrote ${#reports[@]} report(s), see above: each is a finding to fix." >&2
  return 1
}

orvello_build() {
  if [ ! -f "$ORVELLO_BUILD/CMakeCache.txt" ]; then
    # ccache, when the machine has it, makes rebuilds in fresh trees cheap.
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$ORVELLO_ROOT" -B "$ORVELLO_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      "${launcher[@]}" "${ORVELLO_CMAKE_OPTIONS[@]}" >/dev/null || return 1
  fi
  cmake --build "$ORVELLO_BUILD" --parallel "$(nproc)"
}
