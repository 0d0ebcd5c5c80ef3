# libjpeg-turbo's libjpeg 6b API, with its SIMD code (needs nasm). Recipe for
# scripts/build-windows-libs, which documents the variables and `build`.
source_package=libjpeg-turbo
native_package=libjpeg62-turbo-dev
needs=()
provides=lib/libjpeg.a

build() {
  step="configuring (cmake)"
  # REQUIRE_SIMD: without nasm libjpeg-turbo would quietly build its slower C-only code. Its
  # default install prefix for Windows (c:/...) breaks its own configure step on Linux.
  run cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF \
    -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_INSTALL_PREFIX="$stage"
  step="checking that the configure step enabled the SIMD code"
  run grep -q 'SIMD extensions: x86_64' "$log"

  step="building (cmake --build)"
  # Only the library: its command-line programs are not needed.
  run cmake --build "$build" --target jpeg-static -j"$jobs"
  step="checking that libjpeg.a holds the SIMD code"
  run "$host-nm" -g --defined-only -o "$build/libjpeg.a"
  run grep -q ' T jsimd_idct_islow_avx2$' "$log"

  step="installing into $stage"
  run mkdir -p "$stage/include" "$stage/lib" "$stage/share/doc/libjpeg-turbo"
  run cp "$source"/{jpeglib.h,jmorecfg.h,jerror.h} "$build/jconfig.h" "$stage/include/"
  run cp "$build/libjpeg.a" "$stage/lib/"
  run cp "$source"/{LICENSE.md,README.ijg} "$stage/share/doc/libjpeg-turbo/"
}
