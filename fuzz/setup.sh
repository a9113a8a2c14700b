# Shared set-up for fuzz/run and fuzz/run-all: installs clang and its
# sanitizer and fuzzer runtimes when they are missing, configures build-fuzz
# (clang, -DORVELLO_FUZZ=ON) once and builds the fuzz targets asked for.
# Sourced, not executed.

source "$(dirname "${BASH_SOURCE[0]}")/../tools/setup.sh"
ORVELLO_FUZZ_BUILD=$ORVELLO_ROOT/build-fuzz

# usage: orvello_build_fuzzers TARGET...
orvello_build_fuzzers() {
  orvello_ensure_packages clang libclang-rt-14-dev || return 1
  if [ ! -f "$ORVELLO_FUZZ_BUILD/CMakeCache.txt" ]; then
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    cmake -S "$ORVELLO_ROOT" -B "$ORVELLO_FUZZ_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DORVELLO_FUZZ=ON "${launcher[@]}" \
      >/dev/null || return 1
  fi
  cmake --build "$ORVELLO_FUZZ_BUILD" --parallel "$(nproc)" --target "$@"
}
