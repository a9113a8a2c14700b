# The package checks' shared helpers, sourced by package_test.sh and
# bundle_test.sh (also inside the clean root, where both are copied).
# Exit 77 tells CTest that a check was skipped.

fail() { echo "FAIL: $*" >&2; exit 1; }
skip() { echo "skipped: $*"; exit 77; }

# Fails unless every tool named is on PATH.
need() {
  local tool
  for tool; do
    command -v "$tool" >/dev/null || fail "$tool is missing (./test run as root installs it)"
  done
}
