# Shared set-up for ./run and ./test: installs the Debian packages the build
# needs when they are missing, then configures and builds into build/.
# Sourced, not executed.

ORVELLO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
ORVELLO_BUILD=${ORVELLO_BUILD:-$ORVELLO_ROOT/build}
ORVELLO_PACKAGES=(g++ cmake ninja-build pkg-config qt6-base-dev libgtest-dev fonts-dejavu-core)
# The package test (tests/package) runs only as root and needs these too:
# dpkg-shlibdeps for the package's Depends, the validators, and an X server
# with tools to find the launcher's window.
ORVELLO_PACKAGE_TEST_PACKAGES=(dpkg-dev desktop-file-utils appstream lintian man-db xvfb xauth x11-utils xdotool)

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

orvello_build() {
  if [ ! -f "$ORVELLO_BUILD/CMakeCache.txt" ]; then
    # ccache, when the machine has it, makes rebuilds in fresh trees cheap.
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$ORVELLO_ROOT" -B "$ORVELLO_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null || return 1
  fi
  cmake --build "$ORVELLO_BUILD" --parallel "$(nproc)"
}
