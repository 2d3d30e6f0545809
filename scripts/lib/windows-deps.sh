# Sourced by scripts/windows: the libraries the program opens at run time (libjpeg, OpenSSL,
# libmosquitto, libcurl), cross-built for 64-bit Windows from Debian's own source packages,
# once, into a folder named after the versions they were built from. Headers go to include/,
# DLLs to bin/, import libraries, pkg-config and CMake files to lib/. Each library leaves its
# own stamp, so that a build stopped half way goes on from the library it stopped in; a
# folder whose build ended carries the stamp `.complete`.
#
# Needs: $cache (the cache's root), $root (the project), windows_step (prints a phase).

deps_source_packages=(libjpeg-turbo openssl mosquitto curl)

# Every version of source package $1 that apt's lists know, newest first (apt-cache prints
# them in the order of its lists).
deps_versions() {
    local version sorted=() i
    for version in $(apt-cache showsrc "$1" | awk '/^Version:/ { print $2 }' | sort -u); do
        for ((i = 0; i < ${#sorted[@]}; i++)); do
            dpkg --compare-versions "$version" gt "${sorted[i]}" && break
        done
        sorted=("${sorted[@]:0:i}" "$version" "${sorted[@]:i}")
    done
    printf '%s\n' "${sorted[@]}"
}

# The prefix's name from "package=version" pairs and the compiler's version.
deps_cache_key() {
    local key="deps" pair
    for pair in "$@"; do
        key+="-$pair"
    done
    key+="-gcc=$(x86_64-w64-mingw32-gcc-posix -dumpversion)"
    echo "$key" | tr -c 'A-Za-z0-9.=+\n-' '_'
}

# Unpacks source package $1 (patches applied) into $deps_src/$1: the newest version the
# mirror serves, since a version can be in the lists while its files are not (openssl
# 3.0.22-1~deb12u2 from bookworm-security, whose .dsc gave 404). Sets deps_version[$1] and
# deps_tree[$1].
deps_fetch() {
    local package=$1 version into="$deps_src/$1" log="$deps_work/$1-source.log"
    for version in $(deps_versions "$package"); do
        rm -rf "$into"
        mkdir -p "$into"
        if (cd "$into" && apt-get source -q "$package=$version" >"$log" 2>&1); then
            deps_version[$package]=$version
            deps_tree[$package]=$(find "$into" -mindepth 1 -maxdepth 1 -type d | head -n 1)
            return 0
        fi
        windows_step "libraries: $package $version is not on the mirror, trying an older one"
    done
    echo "windows: no source of $package could be fetched (is there a deb-src entry?)" >&2
    [[ -f $log ]] && tail -n 20 "$log" >&2
    return 1
}

# Runs a build step with its output appended to the current library's log.
deps_run() {
    "$@" >>"$deps_log" 2>&1
}

# Fails unless every DLL that DLL $1 imports is Windows' own (mingw-w64 has an import library
# for it), the compiler's runtime, or one built into the prefix.
deps_check_imports() {
    local dll=$1 name lower imports=() foreign=()
    for name in $(x86_64-w64-mingw32-objdump -p "$dll" | awk '/DLL Name:/ { print $3 }'); do
        imports+=("$name")
        lower=${name,,}
        case $lower in
        libgcc_s_seh-1.dll | libstdc++-6.dll | libwinpthread-1.dll) continue ;;
        esac
        [[ -f $deps_prefix/bin/$name || -f /usr/x86_64-w64-mingw32/lib/lib${lower%.dll}.a ]] ||
            foreign+=("$name")
    done
    windows_step "libraries: $(basename "$dll") imports ${imports[*]}"
    if ((${#foreign[@]})); then
        echo "windows: $dll needs ${foreign[*]}, which the program does not ship" >&2
        return 1
    fi
}

# Builds one library with function $2 unless its stamp is there, then checks the DLLs it
# installed (names $3…) and prints how long it took.
deps_component() {
    local name=$1 build=$2 start=$SECONDS dll
    shift 2
    [[ -f "$deps_prefix/.$name" ]] && return 0
    windows_step "libraries: $name"
    deps_log="$deps_work/$name.log"
    : >"$deps_log"
    "$build" || { tail -n 40 "$deps_log" >&2; return 1; }
    for dll in "$@"; do
        if [[ ! -f "$deps_prefix/bin/$dll" ]]; then
            echo "windows: $name did not install bin/$dll" >&2
            return 1
        fi
        deps_check_imports "$deps_prefix/bin/$dll" || return 1
    done
    touch "$deps_prefix/.$name"
    windows_step "libraries: $name built in $((SECONDS - start)) s"
}

deps_cmake_configure() {
    deps_run cmake -S "$1" -B "$2" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/scripts/lib/windows-toolchain.cmake" \
        -DANEMO_WINDOWS_PREFIXES="$deps_prefix" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$deps_prefix" "${@:3}"
}

deps_cmake_build_install() {
    deps_run cmake --build "$1" -j "$(nproc)" && deps_run cmake --install "$1"
}

# libjpeg-62.dll. Without the SIMD code, which needs nasm: the program decodes one small
# logo with it.
deps_build_jpeg() {
    local work="$deps_work/jpeg"
    deps_cmake_configure "${deps_tree[libjpeg-turbo]}" "$work" -DENABLE_SHARED=ON \
        -DENABLE_STATIC=OFF -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF || return
    deps_cmake_build_install "$work" || return
    # Its command-line tools are of no use here.
    rm -f "$deps_prefix"/bin/*.exe
}

# libcrypto-3-x64.dll and libssl-3-x64.dll. Only the two DLLs are made: `make build_libs`
# would compile every file a second time for the static libraries, and also build the
# command-line tool's library.
deps_build_openssl() {
    local source=${deps_tree[openssl]} work="$deps_work/openssl"
    mkdir -p "$work"
    (cd "$work" && deps_run "$source/Configure" mingw64 --cross-compile-prefix=x86_64-w64-mingw32- \
        CC=gcc-posix shared no-tests --prefix="$deps_prefix" --libdir=lib) || return
    deps_run make -C "$work" build_generated || return
    deps_run make -C "$work" -j "$(nproc)" libcrypto-3-x64.dll libssl-3-x64.dll || return
    # The .pc files list the static libraries among their prerequisites; -o leaves those
    # unbuilt.
    deps_run make -C "$work" -o libcrypto.a -o libssl.a -o apps/libapps.a \
        -o providers/liblegacy.a libcrypto.pc libssl.pc openssl.pc || return
    # What `make install_dev` would copy, less the static libraries.
    mkdir -p "$deps_prefix/bin" "$deps_prefix/include/openssl" "$deps_prefix/lib/pkgconfig"
    cp "$source"/include/openssl/*.h "$work"/include/openssl/*.h "$deps_prefix/include/openssl/" &&
        cp "$work"/libcrypto-3-x64.dll "$work"/libssl-3-x64.dll "$deps_prefix/bin/" &&
        cp "$work"/libcrypto.dll.a "$work"/libssl.dll.a "$deps_prefix/lib/" &&
        cp "$work"/libcrypto.pc "$work"/libssl.pc "$work"/openssl.pc "$deps_prefix/lib/pkgconfig/"
}

# mosquitto.dll, the client library alone, with the OpenSSL above. Named without CMake's
# "lib" so that QLibrary("mosquitto", 1) finds it.
deps_build_mosquitto() {
    local source=${deps_tree[mosquitto]} work="$deps_work/mosquitto"
    # Its threads are POSIX ones; on Windows its CMakeLists points at a pthreads-win32 build
    # under C:\pthreads, where mingw-w64 has its own winpthreads.
    sed -i -E 's/set \(PTHREAD_LIBRARIES C:[^)]*\)/set (PTHREAD_LIBRARIES pthread)/;
        s/set \(PTHREAD_INCLUDE_DIR C:[^)]*\)/set (PTHREAD_INCLUDE_DIR "")/' "$source/CMakeLists.txt"
    if grep -q 'pthreadVC2' "$source/CMakeLists.txt"; then
        echo "mosquitto's CMakeLists.txt still names pthreads-win32" >>"$deps_log"
        return 1
    fi
    # CMake's MinGW rules set the "lib" prefix after the cache is read, so that
    # -DCMAKE_SHARED_LIBRARY_PREFIX= is overridden; a file included at the end of project()
    # comes after them.
    mkdir -p "$work"
    echo 'set(CMAKE_SHARED_LIBRARY_PREFIX "")' >"$work/no-prefix.cmake"
    deps_cmake_configure "$source" "$work" -DCMAKE_PROJECT_INCLUDE="$work/no-prefix.cmake" \
        -DWITH_BROKER=OFF -DWITH_APPS=OFF -DWITH_CLIENTS=OFF -DWITH_PLUGINS=OFF \
        -DDOCUMENTATION=OFF -DWITH_LIB_CPP=OFF -DWITH_TLS=ON -DWITH_CJSON=OFF \
        -DWITH_STATIC_LIBRARIES=OFF -DWITH_THREADING=ON -DOPENSSL_ROOT_DIR="$deps_prefix" ||
        return
    deps_cmake_build_install "$work" || return
    # Its install rules know no import library, and install the C++ library's .pc file
    # whether or not that library is built.
    cp "$work/lib/libmosquitto.dll.a" "$deps_prefix/lib/" &&
        rm -f "$deps_prefix/lib/pkgconfig/libmosquittopp.pc"
}

# curl.dll (QLibrary("curl", 4) looks for that name), with the OpenSSL above, HTTP(S) and
# SMTP(S) only, and none of the optional libraries.
deps_build_curl() {
    local work="$deps_work/curl" protocol off=()
    for protocol in DICT FILE FTP GOPHER IMAP LDAP LDAPS MQTT POP3 RTSP SMB TELNET TFTP; do
        off+=("-DCURL_DISABLE_$protocol=ON")
    done
    deps_cmake_configure "${deps_tree[curl]}" "$work" -DBUILD_SHARED_LIBS=ON \
        -DLIBCURL_OUTPUT_NAME=curl -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
        -DCURL_USE_OPENSSL=ON -DOPENSSL_ROOT_DIR="$deps_prefix" -DCURL_CA_BUNDLE=none \
        -DCURL_CA_PATH=none -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF -DUSE_NGHTTP2=OFF \
        -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF \
        -DCURL_ZSTD=OFF -DCURL_USE_LIBPSL=OFF -DCURL_USE_GSSAPI=OFF -DUSE_LIBRTMP=OFF \
        "${off[@]}" || return
    deps_cmake_build_install "$work" || return
    rm -f "$deps_prefix/bin/curl-config"
}

# Sets deps_prefix; builds what is not in the cache yet (11 minutes on 2 cores shared with a
# Qt build: OpenSSL 5, curl 4, libmosquitto 1, libjpeg 0.3). When the newest versions are all
# in the cache nothing is downloaded; when one of them is not on the mirror, the sources are
# fetched on every run, to learn which versions the folder is named after.
windows_deps() {
    local pairs=() package newest
    for package in "${deps_source_packages[@]}"; do
        newest=$(deps_versions "$package" | head -n 1)
        if [[ -z $newest ]]; then
            echo "windows: apt knows no source package $package (is there a deb-src entry?)" >&2
            return 1
        fi
        pairs+=("$package=$newest")
    done
    deps_prefix="$cache/$(deps_cache_key "${pairs[@]}")"
    if [[ -f "$deps_prefix/.complete" ]]; then
        return 0
    fi

    deps_work="$cache/deps-work" deps_src="$cache/deps-src"
    rm -rf "$deps_work" "$deps_src"
    mkdir -p "$deps_work" "$deps_src"
    windows_step "libraries: sources"
    declare -gA deps_version=() deps_tree=()
    pairs=()
    for package in "${deps_source_packages[@]}"; do
        deps_fetch "$package" || return 1
        pairs+=("$package=${deps_version[$package]}")
    done
    # Named after what was fetched, which an older version in place of a missing one changes.
    deps_prefix="$cache/$(deps_cache_key "${pairs[@]}")"
    if [[ ! -f "$deps_prefix/.complete" ]]; then
        mkdir -p "$deps_prefix"
        deps_component jpeg deps_build_jpeg libjpeg-62.dll || return 1
        deps_component openssl deps_build_openssl libcrypto-3-x64.dll libssl-3-x64.dll ||
            return 1
        deps_component mosquitto deps_build_mosquitto mosquitto.dll || return 1
        deps_component curl deps_build_curl curl.dll || return 1
        rm -rf "$deps_prefix/share"
        touch "$deps_prefix/.complete"
    fi
    rm -rf "$deps_work" "$deps_src"
}
