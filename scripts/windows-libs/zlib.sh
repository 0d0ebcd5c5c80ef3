# zlib, which libpng compresses and inflates with. Recipe for scripts/build-windows-libs, which
# documents the variables and `build`.
source_package=zlib
native_package=zlib1g-dev
needs=()
provides=lib/libz.a

build() {
  step="configuring (cmake)"
  run cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$stage"
  step="building (cmake --build)"
  # The static library alone; it is named libz.a, as everywhere else, so that libpng finds it.
  run cmake --build "$build" --target zlibstatic -j"$jobs"
  step="installing into $stage"
  run mkdir -p "$stage/include" "$stage/lib" "$stage/share/doc/zlib"
  run cp "$source/zlib.h" "$build/zconf.h" "$stage/include/"
  run cp "$build/libzlibstatic.a" "$stage/lib/libz.a"
  run cp "$source/LICENSE" "$stage/share/doc/zlib/"
}
