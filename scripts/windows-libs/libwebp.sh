# libwebp with libwebpmux (its animation encoder and muxer), for animated WebP files. Recipe for
# scripts/build-windows-libs, which documents the variables and `build`.
source_package=libwebp
native_package=libwebp-dev
needs=()
provides=lib/libwebpmux.a

build() {
  step="configuring (cmake)"
  # The libraries alone, with the SSE2 and SSE4.1 code the library picks at run time, and its
  # threads, as Debian builds it.
  run cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$stage" -DBUILD_SHARED_LIBS=OFF \
    -DWEBP_ENABLE_SIMD=ON -DWEBP_USE_THREAD=ON -DWEBP_BUILD_LIBWEBPMUX=ON \
    -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF \
    -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
    -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF
  step="checking that the configure step enabled the SSE4.1 code"
  run grep -q 'WEBP_HAVE_FLAG_SSE41 - Success' "$log"
  step="building (cmake --build)"
  run cmake --build "$build" -j"$jobs"
  step="installing into $stage"
  run cmake --install "$build"
  run mkdir -p "$stage/share/doc/libwebp"
  run cp "$source"/{COPYING,PATENTS} "$stage/share/doc/libwebp/"
}
