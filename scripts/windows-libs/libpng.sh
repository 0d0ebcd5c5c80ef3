# libpng, for PNG pictures in and PNG frames out. Recipe for scripts/build-windows-libs, which
# documents the variables and `build`.
source_package=libpng1.6
native_package=libpng-dev
needs=(zlib)
provides=lib/libpng16.a

build() {
  step="configuring (cmake)"
  # Without libpng's SSE2 row filters, as Debian builds it for amd64. zlib is found through the
  # toolchain's roots.
  run cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DVEXAROND_WIN_DEPS="$(prefix_of zlib)" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$stage" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF \
    -DPNG_TESTS=OFF -DPNG_HARDWARE_OPTIMIZATIONS=OFF
  step="building (cmake --build)"
  run cmake --build "$build" -j"$jobs"
  step="installing into $stage"
  run cmake --install "$build"
  run mkdir -p "$stage/share/doc/libpng"
  run cp "$source/LICENSE" "$stage/share/doc/libpng/"
}
