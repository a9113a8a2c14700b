#!/usr/bin/env bash
# The clean Debian 12 root that the bundle test unpacks the bundle into, and
# the way into it.
#   clean_root.sh make CACHE
#       builds the root in CACHE once (debootstrap --variant=minbase
#       bookworm), or reuses it when a complete one is there. It lives
#       outside the clone (a fresh CI clone finds it again), and nothing ever
#       writes into it after it is made.
#   clean_root.sh enter CACHE WORK COMMAND...
#       runs COMMAND as root inside the root, in a private mount namespace:
#       the cached root is the lower layer of an overlay whose upper layer is
#       WORK/upper, so everything the command writes lands in WORK and the
#       cache stays clean. /proc, /dev, /dev/shm and /tmp come from the host
#       (the X and Wayland sockets travel through /tmp; see the
#       CLEAN_ROOT_BIND variable below).
#
# The root has Debian's minimal base system (no Qt, no X, no fonts) plus what
# every desktop provides and the bundle deliberately leaves to the host (see
# packaging/bundle/excludelist): the graphics-driver stack (Mesa), the X and
# Wayland client libraries and a font with its configuration.
set -euo pipefail

mirror=${CLEAN_ROOT_MIRROR:-http://deb.debian.org/debian}
suite=bookworm
# Bump when the package list changes, so that an old cache is rebuilt.
root_format=1
desktop_packages=(
  # The graphics-driver stack.
  libgl1 libegl1 libgles2 libopengl0 libgl1-mesa-dri libegl-mesa0 libglx-mesa0 libgbm1 libdrm2
  # The X and Wayland client libraries.
  libx11-6 libx11-xcb1 libxcb1 libxcb-dri2-0 libxcb-dri3-0 libxcb-glx0 libxcb-present0 libxau6 libxdmcp6
  libwayland-client0 libwayland-cursor0 libwayland-egl1
  # A font and the font configuration.
  fontconfig-config fonts-dejavu-core
)

fail() { echo "clean_root.sh: $*" >&2; exit 1; }

make_root() {
  local cache=$1 stamp=$1/.orvello-clean-root
  # Two test runs at once (two clones on one machine) make it once.
  mkdir -p "$(dirname "$cache")"
  exec 9>"$cache.lock"
  flock 9
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$root_format" ]; then
    echo "reusing the clean root in $cache"
    return 0
  fi
  command -v debootstrap >/dev/null || fail "debootstrap is missing (./test run as root installs it)"
  # Built beside the cache and moved into place only when complete, so that an
  # interrupted run never leaves a half-made root that looks finished.
  local building=$cache.building
  rm -rf "$building" "$cache"
  local include
  include=$(IFS=,; echo "${desktop_packages[*]}")
  echo "making the clean root in $cache (debootstrap --variant=minbase $suite, once)"
  local started=$SECONDS
  debootstrap --variant=minbase --include="$include" "$suite" "$building" "$mirror" >"$building.log" 2>&1 ||
    { tail -n 30 "$building.log" >&2; fail "debootstrap failed (the whole log: $building.log)"; }
  # The package caches are of no use to the test.
  rm -rf "$building"/var/cache/apt/archives/*.deb "$building"/var/lib/apt/lists/*
  echo "$root_format" >"$building/.orvello-clean-root"
  mv "$building" "$cache"
  rm -f "$building.log"
  echo "made the clean root in $((SECONDS - started)) s"
}

enter_root() {
  local cache=$1 work=$2
  shift 2
  [ -f "$cache/.orvello-clean-root" ] || fail "no clean root in $cache: run clean_root.sh make first"
  mkdir -p "$work/upper" "$work/overlay-work" "$work/merged"
  # The namespace ends with the command, and its mounts with it.
  unshare --mount --propagation private -- bash -euc '
    cache=$1 work=$2; shift 2
    merged=$work/merged
    mount -t overlay clean-root -o "lowerdir=$cache,upperdir=$work/upper,workdir=$work/overlay-work" "$merged"
    mount -t proc proc "$merged/proc"
    mount --rbind /dev "$merged/dev"
    mount -t tmpfs -o mode=1777 tmpfs "$merged/tmp"
    for socket_dir in ${CLEAN_ROOT_BIND:-}; do
      mkdir -p "$merged$socket_dir"
      mount --bind "$socket_dir" "$merged$socket_dir"
    done
    exec chroot "$merged" "$@"
  ' enter-root "$cache" "$work" "$@"
}

case "${1:-}" in
  make) make_root "${2:?usage: clean_root.sh make CACHE}" ;;
  enter) enter_root "${2:?usage: clean_root.sh enter CACHE WORK COMMAND...}" \
                    "${3:?usage: clean_root.sh enter CACHE WORK COMMAND...}" "${@:4}" ;;
  *) fail "usage: clean_root.sh make CACHE | enter CACHE WORK COMMAND..." ;;
esac
