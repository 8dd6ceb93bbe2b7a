#!/usr/bin/env bash
# Makes the Debian package of the build (cpack, once), unpacks it into a
# scratch root and checks the installed tree: its files, where the avfile
# program finds its library, and hosts built against it with find_package
# and pkg-config.
# Usage: installed_package_test.sh BUILD SCRATCH HOSTSRC CMAKE CPACK PKGCONFIG CC CFLAGS
set -u
build=$1 scratch=$2 hostsrc=$3 cmake=$4 cpack=$5 pkgconfig=$6 cc=$7 cflags=${8:-}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$scratch" && mkdir -p "$scratch"
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/package" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$scratch"/package/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { cat "$scratch/cpack.log"; echo "FAIL: no .deb made"; exit 1; }
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
root=$scratch/root
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x"; exit 1; }

# The files of the package, and nothing of the build's tests or tools.
listing=$(cd "$root" && find . -type f -o -type l | sort)
for f in ./usr/bin/avfile ./usr/include/avfile/avfile.h ./usr/lib/libavfile_vsk.so.1.0.0 \
    ./usr/lib/libavfile_vsk.so.1 ./usr/lib/libavfile_vsk.so ./usr/lib/pkgconfig/avfile.pc \
    ./usr/lib/cmake/avfile/avfileConfig.cmake ./usr/lib/cmake/avfile/avfileConfigVersion.cmake \
    ./usr/lib/cmake/avfile/avfileTargets.cmake; do
    grep -qxF "$f" <<<"$listing" || fail "the package lacks $f"
done
extra=$(grep -v -e '^./usr/bin/avfile$' -e '^./usr/include/avfile/' -e '^./usr/lib/libavfile_vsk\.so' \
    -e '^./usr/lib/pkgconfig/avfile\.pc$' -e '^./usr/lib/cmake/avfile/' <<<"$listing")
[ -z "$extra" ] || fail "the package holds more than library, header, configuration and program: $extra"
soname=$(objdump -p "$root/usr/lib/libavfile_vsk.so.1.0.0" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = libavfile_vsk.so.1 ] || fail "SONAME is '$soname', not libavfile_vsk.so.1"
# No folder of the build is written into the program's data or run path
# (the debugging information names the sources' folders; it looks nothing up).
if readelf -p .rodata -d "$root/usr/bin/avfile" | grep -qF "$build"; then
    fail "the program carries the build folder $build"
fi

# Where the program finds its library: one case a line, as
#   NAME|FOLDER OF THE PROGRAM'S COPY|LD_LIBRARY_PATH|ARGUMENTS|EXPECTED --version LINE (or "exit 8")
# ($scratch/alone holds the program only, $scratch/beside the program and the
# library, and the working folder a library that must never be taken.)
lib=$root/usr/lib
other=$scratch/other-lib
mkdir -p "$other" && cp "$lib/libavfile_vsk.so.1.0.0" "$other/libavfile_vsk.so.1"
cases="installed tree, ../lib|$root/usr/bin||--version|libavfile_vsk 1.0.0 $lib/libavfile_vsk.so.1
alone, nothing to find|$scratch/alone||--version|exit 8
alone, LD_LIBRARY_PATH|$scratch/alone|$other|--version|libavfile_vsk 1 $other/libavfile_vsk.so.1
beside it before LD_LIBRARY_PATH|$scratch/beside|$other|--version|libavfile_vsk 1.0.0 $scratch/beside/libavfile_vsk.so.1
--library|$scratch/alone||--library $other/libavfile_vsk.so.1 --version|libavfile_vsk 1 $other/libavfile_vsk.so.1
--library that does not exist|$root/usr/bin||--library $scratch/none.so --version|exit 8"
mkdir -p "$scratch/alone" "$scratch/beside" "$scratch/cwd"
cp "$root/usr/bin/avfile" "$scratch/alone/" && cp "$root/usr/bin/avfile" "$scratch/beside/"
cp -P "$lib"/libavfile_vsk.so.1* "$scratch/beside/"
cp "$lib/libavfile_vsk.so.1.0.0" "$scratch/cwd/libavfile_vsk.so.1"
while IFS='|' read -r name folder ldpath args expected; do
    # shellcheck disable=SC2086
    out=$(cd "$scratch/cwd" && env -u LD_LIBRARY_PATH ${ldpath:+LD_LIBRARY_PATH=$ldpath} "$folder/avfile" $args 2>&1)
    rc=$?
    if [ "$expected" = "exit 8" ]; then
        [ $rc -eq 8 ] || fail "$name: exit $rc, not 8: $out"
    else
        [ $rc -eq 0 ] && grep -qxF "$expected" <<<"$out" || fail "$name: exit $rc, '$out', expected '$expected'"
    fi
    grep -q '^avfile 1\.0\.0$' <<<"$out" || fail "$name: no program version in '$out'"
done <<<"$cases"

# A host built with find_package, and one with pkg-config, against the tree.
hostbuild=$scratch/host-build
if "$cmake" -S "$hostsrc" -B "$hostbuild" -DCMAKE_PREFIX_PATH="$root/usr" -DCMAKE_C_COMPILER="$cc" \
    "-DCMAKE_C_FLAGS=$cflags" >"$scratch/host.log" 2>&1 && "$cmake" --build "$hostbuild" >>"$scratch/host.log" 2>&1; then
    "$hostbuild/host" || fail "the find_package host failed"
    ldd "$hostbuild/host" | grep -qF "$lib/libavfile_vsk.so.1" || fail "the find_package host does not use $lib"
else
    cat "$scratch/host.log"
    fail "the find_package host did not build"
fi
flags=$(PKG_CONFIG_PATH=$lib/pkgconfig PKG_CONFIG_LIBDIR=$lib/pkgconfig "$pkgconfig" --cflags --libs avfile) ||
    fail "pkg-config does not know avfile"
# shellcheck disable=SC2086
if "$cc" $cflags -o "$scratch/pc-host" "$hostsrc/host.c" $flags; then
    LD_LIBRARY_PATH=$lib "$scratch/pc-host" || fail "the pkg-config host failed"
else
    fail "the pkg-config host did not build (flags: $flags)"
fi

[ $failures -eq 0 ] && echo "installed package: all checks passed"
exit $((failures > 0))
