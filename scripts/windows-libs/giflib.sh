# giflib, for animated GIF files and its median-cut quantiser (which Debian's patches move into
# libgif). Recipe for scripts/build-windows-libs, which documents the variables and `build`.
source_package=giflib
native_package=libgif-dev
needs=()
provides=lib/libgif.a

build() {
  step="building (make libgif.a)"
  # Its own makefile, in the source folder, with Debian's optimisation level.
  run make -C "$source" -j"$jobs" libgif.a CC="$cc" AR="$host-ar" OFLAGS=-O2
  step="installing into $stage"
  run mkdir -p "$stage/include" "$stage/lib" "$stage/share/doc/giflib"
  run cp "$source/gif_lib.h" "$stage/include/"
  run cp "$source/libgif.a" "$stage/lib/"
  run cp "$source/COPYING" "$stage/share/doc/giflib/"
}
