#!/usr/bin/env bash
# Cross-builds the libraries the Windows build links (static, x86_64, mingw-w64 with POSIX
# threads) from Debian's source packages: SQLCipher on libtomcrypt + libtommath, Crypto++,
# libsodium and GoogleTest. The sources come through a sources list of this script's own
# (deb-src lines in a private apt state folder), never through the machine's apt
# configuration. The result is a prefix (include/, lib/, lib/pkgconfig/, lib/cmake/) in a
# cache folder keyed by the package versions and by this script, so a second run with the
# same versions does nothing.
#
#   scripts/build-win-deps.sh            prints the prefix on its last line
#   ORNEL_WIN_DEPS_CACHE=DIR             cache root (default ~/.cache/ornel-ftp/win-deps)
#   JOBS=N                               parallel compiler jobs (default: nproc)
set -euo pipefail

# The versions of Debian 12 (bookworm). When the archive moves on (a security update
# replaces one of them), change the version here: the cache key follows.
declare -A versions=(
    [libtommath]=1.2.0-6+deb12u1
    [libtomcrypt]=1.18.2-6
    [sqlcipher]=3.4.1-2
    [libcrypto++]=8.7.0+git220824-1
    [libsodium]=1.0.18-1+deb12u1
    [googletest]=1.12.1-0.2
)
order=(libtommath libtomcrypt sqlcipher libcrypto++ libsodium googletest)
mirror=${ORNEL_DEBIAN_MIRROR:-http://deb.debian.org/debian}
suite=bookworm

host=x86_64-w64-mingw32
jobs=${JOBS:-$(nproc)}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cache_root=${ORNEL_WIN_DEPS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/ornel-ftp/win-deps}

key_text=$(for p in "${order[@]}"; do echo "$p=${versions[$p]}"; done; sha256sum "${BASH_SOURCE[0]}" | cut -d' ' -f1)
key=$(printf '%s\n' "$key_text" | sha256sum | cut -c1-16)
root=$cache_root/$key
prefix=$root/prefix

if [[ -f $root/done ]]; then
    echo "$prefix"
    exit 0
fi

for tool in $host-gcc-posix $host-g++-posix dpkg-source apt-get cmake autoreconf libtoolize; do
    command -v "$tool" >/dev/null || { echo "build-win-deps: $tool is missing (make deps installs it)" >&2; exit 1; }
done

started=$(date +%s)
rm -rf "$root"
mkdir -p "$cache_root"
# Caches of other versions are of no further use here.
find "$cache_root" -mindepth 1 -maxdepth 1 ! -name "$key" -exec rm -rf {} +
mkdir -p "$root"/{apt/etc/sources.list.d,apt/etc/preferences.d,apt/state/lists/partial,apt/cache/archives/partial,src,prefix/include,prefix/lib/pkgconfig}

# A private apt: our own sources list, state and cache; the machine's lists stay untouched.
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror $suite main" \
    > "$root/apt/etc/sources.list"
apt_options=(
    -o "Dir::Etc::SourceList=$root/apt/etc/sources.list"
    -o "Dir::Etc::SourceParts=$root/apt/etc/sources.list.d"
    -o "Dir::Etc::PreferencesParts=$root/apt/etc/preferences.d"
    -o "Dir::State=$root/apt/state"
    -o "Dir::State::status=/var/lib/dpkg/status"
    -o "Dir::Cache=$root/apt/cache"
    # As root apt drops to the _apt user for downloads, which may not write our folders.
    -o "APT::Sandbox::User=$(id -un)"
)
apt-get "${apt_options[@]}" -qq update
wanted=()
for p in "${order[@]}"; do wanted+=("$p=${versions[$p]}"); done
(cd "$root/src" && apt-get "${apt_options[@]}" -qq source "${wanted[@]}" >"$root/src/fetch.log")
source_dir() { find "$root/src" -maxdepth 1 -mindepth 1 -type d -name "$1-*" | head -n1; }

# Compilers through ccache when there is one (the machine's own cache is then shared).
launcher=""
command -v ccache >/dev/null && launcher="ccache "
export CC="${launcher}$host-gcc-posix" CXX="${launcher}$host-g++-posix"
export AR=$host-ar RANLIB=$host-ranlib
common_cflags="-O2 -D_WIN32_WINNT=0x0601"

# libtommath and libtomcrypt: their plain makefiles, static library only.
dir=$(source_dir libtommath)
make -C "$dir" -s -j "$jobs" CC="$CC" AR="$AR" RANLIB="$RANLIB" CFLAGS="$common_cflags" libtommath.a
cp "$dir/libtommath.a" "$prefix/lib/"
cp "$dir"/tommath*.h "$prefix/include/"

dir=$(source_dir libtomcrypt)
make -C "$dir" -s -j "$jobs" CC="$CC" AR="$AR" RANLIB="$RANLIB" \
    CFLAGS="$common_cflags -DLTM_DESC -DUSE_LTM -I$prefix/include" library
cp "$dir/libtomcrypt.a" "$prefix/lib/"
cp "$dir"/src/headers/tomcrypt*.h "$prefix/include/"

# SQLCipher: configure refuses a Windows host unless it is told the executable suffix
# (config_TARGET_EXEEXT), and the generators it builds for this machine (lemon,
# mkkeywordhash) must carry none: BEXE= empties the suffix it would give them.
dir=$(source_dir sqlcipher)
mkdir -p "$dir/build-win"
(
    cd "$dir/build-win"
    config_TARGET_EXEEXT=.exe ../configure -q --host=$host --build="$(gcc -dumpmachine)" \
        --prefix="$prefix" --disable-shared --enable-static --disable-tcl --disable-readline \
        --enable-threadsafe --enable-tempstore=yes --with-crypto-lib=libtomcrypt \
        CFLAGS="$common_cflags -DSQLITE_HAS_CODEC -DSQLITE_SECURE_DELETE -DSQLITE_TEMP_STORE=2 \
-DSQLITE_MAX_SCHEMA_RETRY=25 -I$prefix/include" \
        LDFLAGS="-L$prefix/lib" LIBS="-ltomcrypt -ltommath"
    make -s -j "$jobs" BEXE= libsqlcipher.la
    make -s BEXE= lib_install
    mkdir -p "$prefix/include/sqlcipher"
    cp sqlite3.h ../src/sqlite3ext.h "$prefix/include/sqlcipher/"
    # The journal links SQLCipher statically: its crypto libraries go with it.
    sed -e 's|^Version: .*|Version: 3.4.1|' -e 's|^Libs: .*|Libs: -L${libdir} -lsqlcipher -ltomcrypt -ltommath|' \
        -e '/^Libs.private/d' sqlcipher.pc >"$prefix/lib/pkgconfig/sqlcipher.pc"
)
rm -f "$prefix"/lib/*.la

# Crypto++: its cross makefile, static library only, no assembly the mingw assembler
# would have to take.
dir=$(source_dir libcrypto++)
make -C "$dir" -s -j "$jobs" -f GNUmakefile-cross CXX="$CXX" AR="$AR" RANLIB="$RANLIB" \
    CXXFLAGS="$common_cflags -DNDEBUG -DCRYPTOPP_DISABLE_ASM" static
mkdir -p "$prefix/include/cryptopp"
cp "$dir/libcryptopp.a" "$prefix/lib/"
cp "$dir"/*.h "$prefix/include/cryptopp/"
ln -s cryptopp "$prefix/include/crypto++" # both names, as Debian's package has them
cat >"$prefix/lib/pkgconfig/libcrypto++.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: Crypto++
Description: Crypto++ class library, static, for Windows
Version: ${versions[libcrypto++]%%+*}
Libs: -L\${libdir} -lcryptopp
Cflags: -I\${includedir}
EOF

# libsodium: autotools, static. Debian's source carries no generated configure script.
dir=$(source_dir libsodium)
mkdir -p "$dir/build-win"
(
    cd "$dir"
    [[ -x configure ]] || autoreconf -i -f >/dev/null 2>&1
    cd build-win
    ../configure -q --host=$host --prefix="$prefix" --disable-shared --enable-static \
        CFLAGS="$common_cflags"
    make -s -j "$jobs" install
)
rm -f "$prefix"/lib/*.la

# GoogleTest with the project's own toolchain file.
dir=$(source_dir googletest)
cmake -S "$dir" -B "$dir/build-win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/../cmake/mingw-w64-x86_64.cmake" \
    ${launcher:+-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache} \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF >/dev/null
cmake --build "$dir/build-win" -j "$jobs" >/dev/null
cmake --install "$dir/build-win" >/dev/null

for p in "${order[@]}"; do echo "$p ${versions[$p]}"; done >"$root/versions"
rm -rf "$root/src" "$root/apt"
elapsed=$(($(date +%s) - started))
echo "build-win-deps: built in ${elapsed} s into $prefix" >&2
touch "$root/done"
echo "$prefix"
