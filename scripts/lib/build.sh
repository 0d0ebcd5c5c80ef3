# Sourced by the scripts (which set $root to the repository): the project's three build trees,
# each always configured with the same settings, so a tree built by scripts/run is reused as it is
# by scripts/test and the other way round.
#   native  Release, with the benchmarks          build/native
#   asan    Debug, AddressSanitizer and UBSan     build/asan
#   win     Release, the mingw-w64 Windows build  build/win (its libraries: build/win-deps)
# build_tree [-q] TREE [TARGET...] configures the tree when needed and builds the targets (all
# without any); it returns non-zero, after showing why, when either step fails.

BUILD_JOBS=$(nproc)

build_tree_args() {  # TREE: sets BUILD_TREE_ARGS to the tree's cmake settings
  case "$1" in
    native) BUILD_TREE_ARGS=(-DCMAKE_BUILD_TYPE=Release -DVEXAROND_BENCHMARKS=ON) ;;
    asan) BUILD_TREE_ARGS=(-DCMAKE_BUILD_TYPE=Debug
      "-DCMAKE_CXX_FLAGS=-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer") ;;
    win)
      # One install prefix for each library scripts/build-windows-libs cross-builds.
      local recipe prefixes=()
      for recipe in "$root"/scripts/windows-libs/*.sh; do
        prefixes+=("$root/build/win-deps/$(basename "$recipe" .sh)")
      done
      BUILD_TREE_ARGS=(-DCMAKE_BUILD_TYPE=Release
        "-DCMAKE_TOOLCHAIN_FILE=$root/cmake/mingw-w64-x86_64.cmake"
        "-DVEXAROND_WIN_DEPS=$(IFS=';'; echo "${prefixes[*]}")") ;;
    *) echo "unknown build tree '$1' (native, asan or win)" >&2; return 1 ;;
  esac
}

# TREE: runs cmake's configure step only for a new tree or when the settings above changed; the
# build step itself reruns cmake when a CMakeLists.txt changes. The output goes to
# build/TREE.configure.log and is shown only on failure.
configure_tree() {
  local tree="$1"
  build_tree_args "$tree" || return 1
  local dir="$root/build/$tree" log="$root/build/$tree.configure.log"
  local stamp="$dir/.configure-args" want
  want=$(printf '%s\n' "${BUILD_TREE_ARGS[@]}")
  if [ -f "$dir/CMakeCache.txt" ] && [ -f "$stamp" ] && [ "$(<"$stamp")" = "$want" ]; then
    return 0
  fi
  mkdir -p "$dir"
  rm -f "$stamp"
  if ! cmake -S "$root" -B "$dir" "${BUILD_TREE_ARGS[@]}" >"$log" 2>&1; then
    cat "$log"
    return 1
  fi
  printf '%s\n' "$want" >"$stamp"
}

# [-q] TREE [TARGET...]: without -q the compiler's messages are shown as they come (progress
# lines left out); with -q the build's output goes to build/TREE.build.log, shown only on failure.
build_tree() {
  local quiet=0
  if [ "${1:-}" = -q ]; then quiet=1; shift; fi
  local tree="$1"; shift
  # The Windows build links the image libraries cross-built by the project (once; then a quick
  # check).
  if [ "$tree" = win ]; then "$root/scripts/build-windows-libs" || return 1; fi
  configure_tree "$tree" || return 1
  local cmd=(cmake --build "$root/build/$tree" -j"$BUILD_JOBS")
  [ $# -eq 0 ] || cmd+=(--target "$@")
  if [ $quiet = 1 ]; then
    local log="$root/build/$tree.build.log"
    "${cmd[@]}" >"$log" 2>&1 || { cat "$log"; return 1; }
  else
    "${cmd[@]}" 2>&1 | grep -v -E '^\[ *[0-9]+%\]|^-- '
    return "${PIPESTATUS[0]}"
  fi
}
