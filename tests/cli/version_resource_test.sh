#!/usr/bin/env bash
# The version resource of each Windows program, as Explorer's Properties show it, read with
# icoutils' wrestool: the numbers and the strings are the project's version, the product name and
# the copyright, and the original file name is the file's own.
# Usage: version_resource_test.sh VERSION COPYRIGHT EXE...
set -u
version="$1" copyright="$2"
shift 2
IFS=. read -r major minor patch <<<"$version"
failed=0
fail() { failed=$((failed + 1)); echo "FAILED: $*"; }

# STRINGS FILE: prints the resource's string table as "Key=Value" lines. The keys and values are
# UTF-16 text ending in a NUL; the headers between them read as stray characters before a key.
strings_of() {
  iconv -f UTF-16LE -t UTF-8 "$1" 2>/dev/null | tr '\0' '\n' | awk '
    /(FileDescription|FileVersion|InternalName|LegalCopyright|OriginalFilename|ProductName|ProductVersion)$/ {
      key = $0; sub(/^.*[^A-Za-z]/, "", key); want = 1; next }
    want && length($0) > 0 { print key "=" $0; want = 0 }'
}

# DWORD HEX OFFSET: the little-endian 32-bit word at a byte offset of a hex dump.
dword() { local h=${1:$(($2 * 2)):8}; echo $((16#${h:6:2}${h:4:2}${h:2:2}${h:0:2})); }

for exe in "$@"; do
  name=$(basename "$exe")
  res=$(mktemp)
  if ! wrestool -x --raw --type=16 "$exe" >"$res" 2>/dev/null || [ ! -s "$res" ]; then
    fail "$name has no version resource"; rm -f "$res"; continue
  fi
  # VS_FIXEDFILEINFO follows its signature 0xFEEF04BD: the struct's version, then the file's
  # and the product's versions as major.minor and patch.build in two words each.
  hex=$(od -An -v -tx1 "$res" | tr -d ' \n')
  before=${hex%%bd04effe*}
  if [ "$before" = "$hex" ] || [ $((${#before} % 2)) -ne 0 ]; then
    fail "$name: no fixed file information in its version resource"
  else
    at=$((${#before} / 2))
    want_ms=$(((major << 16) | minor)) want_ls=$((patch << 16))
    for field in 8 16; do
      [ "$(dword "$hex" $((at + field)))" = "$want_ms" ] && [ "$(dword "$hex" $((at + field + 4)))" = "$want_ls" ] ||
        fail "$name: the fixed $([ $field = 8 ] && echo file || echo product) version is not $version.0"
    done
  fi
  table=$(strings_of "$res")
  for expected in "FileVersion=$version" "ProductVersion=$version" "ProductName=Vexarond" \
                  "LegalCopyright=$copyright" "OriginalFilename=$name"; do
    grep -qxF "$expected" <<<"$table" || fail "$name: no $expected in its version strings: $(tr '\n' ';' <<<"$table")"
  done
  grep -q '^FileDescription=.' <<<"$table" || fail "$name: no file description"
  rm -f "$res"
done
[ $failed -eq 0 ] && echo "version resources of $*: $version"
exit $((failed > 0))
