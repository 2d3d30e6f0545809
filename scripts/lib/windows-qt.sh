# Sourced by scripts/windows: Qt 6 (Base, Shader Tools, Multimedia, Charts) cross-built for
# 64-bit Windows from Debian's own sources, once, into a folder named after the versions it
# was built from. A folder whose build ended carries the stamp `.complete`; one without it is
# built again from scratch.
#
# Needs: $cache (the cache's root), $root (the project), windows_step (prints a phase).

qt_source_packages=(qt6-base qt6-shadertools qt6-multimedia)

# The version apt would fetch for a source package ("6.4.2+dfsg-10").
source_version() {
    apt-cache showsrc "$1" | awk '/^Version:/ { print $2; exit }'
}

# Unpacks Debian's source package $1 into $2 (patches applied), unless a build stopped half
# way left it there, and prints the tree's path.
debian_source() {
    local package=$1 into=$2
    if [[ -z "$(find "$into" -mindepth 1 -maxdepth 1 -type d 2>/dev/null)" ]]; then
        rm -rf "$into"
        mkdir -p "$into"
        (cd "$into" && apt-get source -qq "$package" >/dev/null 2>&1)
    fi
    find "$into" -mindepth 1 -maxdepth 1 -type d | head -n 1
}

# Debian's Qt sources leave out the WinTab headers (their licence forbids changes), which the
# Windows platform plugin includes for drawing tablets. Wine's own wintab.h and pktdef.h
# (LGPL, in libwine-dev) stand in, with the two macros they take from Wine's headers.
wintab_headers() {
    local folder="$1/src/3rdparty/wintab" unpacked
    [[ -f "$folder/wintab.h" ]] && return 0
    unpacked=$(mktemp -d)
    (cd "$unpacked" && apt-get download -qq libwine-dev >/dev/null 2>&1 && dpkg -x ./*.deb .)
    mkdir -p "$folder"
    cp "$unpacked/usr/include/wine/wine/windows/pktdef.h" "$folder/"
    cp "$unpacked/usr/include/wine/wine/windows/wintab.h" "$folder/wine_wintab.h"
    rm -rf "$unpacked"
    cat >"$folder/wintab.h" <<'HEADER'
/* Wine's wintab.h, with the two macros it takes from Wine's own headers. */
#ifndef ANEMO_WINTAB_H
#define ANEMO_WINTAB_H
#include <windows.h>
#ifndef DECL_WINELIB_TYPE_AW
#ifdef UNICODE
#define DECL_WINELIB_TYPE_AW(type) typedef type##W type;
#else
#define DECL_WINELIB_TYPE_AW(type) typedef type##A type;
#endif
#endif
#ifndef API
#define API WINAPI
#endif
#include "wine_wintab.h"
#endif
HEADER
}

qt_cache_key() {
    local key="qt" package
    for package in "${qt_source_packages[@]}"; do
        key+="-$package=$(source_version "$package")"
    done
    key+="-qtcharts=6.4.2-gcc=$(x86_64-w64-mingw32-g++-posix -dumpversion)"
    echo "$key" | tr -c 'A-Za-z0-9.=+\n-' '_'
}

# One Qt module's tree, configured against the cross Qt in $qt_prefix and installed into it.
qt_build_module() {
    local name=$1 source=$2
    shift 2
    local work="$cache/work/$name"
    rm -rf "$work"
    mkdir -p "$work"
    windows_step "Qt: $name"
    # qt-configure-module configures into the folder it runs in.
    (cd "$work" && "$qt_prefix/bin/qt-configure-module" "$source" -- -DQT_BUILD_TESTS=OFF \
        -DQT_BUILD_EXAMPLES=OFF "$@") >"$cache/work/$name.log" 2>&1 ||
        { tail -n 40 "$cache/work/$name.log" >&2; return 1; }
    cmake --build "$work" -j "$(nproc)" >>"$cache/work/$name.log" 2>&1 ||
        { tail -n 40 "$cache/work/$name.log" >&2; return 1; }
    cmake --install "$work" >/dev/null
    rm -rf "$work"
    touch "$qt_prefix/.$name"
}

# Sets qt_prefix; builds what is not in the cache yet (about 26 minutes on 2 cores for all).
# Each module leaves its own stamp, so that a build stopped half way goes on from the module
# it stopped in. Qt Charts is built only when QTCHARTS_SRC names its source tarball (Debian's
# archive does not serve it); without it the Windows program draws no charts and says so.
windows_qt() {
    qt_prefix="$cache/$(qt_cache_key)"
    if [[ -f "$qt_prefix/.complete" && (-f "$qt_prefix/.charts" || -z "${QTCHARTS_SRC:-}") ]]; then
        [[ -f "$qt_prefix/.charts" ]] ||
            windows_step "Qt Charts left out: set QTCHARTS_SRC to qtcharts-everywhere-src-6.4.2.tar.xz"
        return 0
    fi
    mkdir -p "$cache/work" "$cache/src" "$qt_prefix"
    windows_step "Qt: sources"
    local base shadertools multimedia charts=""
    base=$(debian_source qt6-base "$cache/src/base")
    wintab_headers "$base"
    shadertools=$(debian_source qt6-shadertools "$cache/src/shadertools")
    multimedia=$(debian_source qt6-multimedia "$cache/src/multimedia")
    if [[ -n "${QTCHARTS_SRC:-}" ]]; then
        [[ -d "$cache/src/qtcharts-6.4.2" ]] || tar -xf "$QTCHARTS_SRC" -C "$cache/src"
        charts=$(find "$cache/src" -mindepth 1 -maxdepth 1 -type d -name 'qtcharts*' | head -n 1)
    fi

    if [[ ! -f "$qt_prefix/.base" ]]; then
        windows_step "Qt: base"
        local work="$cache/work/base"
        cmake -S "$base" -B "$work" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$root/scripts/lib/windows-toolchain.cmake" \
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$qt_prefix" \
            -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
            -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DBUILD_SHARED_LIBS=ON \
            -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_openssl=OFF -DFEATURE_icu=OFF \
            -DFEATURE_schannel=ON -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF \
            -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF \
            -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_pcre2=OFF \
            -DFEATURE_system_doubleconversion=OFF \
            >"$cache/work/base.log" 2>&1 || { tail -n 40 "$cache/work/base.log" >&2; return 1; }
        cmake --build "$work" -j "$(nproc)" >>"$cache/work/base.log" 2>&1 ||
            { tail -n 40 "$cache/work/base.log" >&2; return 1; }
        cmake --install "$work" >/dev/null
        rm -rf "$work"
        touch "$qt_prefix/.base"
    fi
    [[ -f "$qt_prefix/.shadertools" ]] || qt_build_module shadertools "$shadertools"
    if [[ ! -f "$qt_prefix/.multimedia" ]]; then
        # Qt Multimedia looks the Media Foundation libraries up by their Windows SDK names
        # (Mf, Mfplat, Propsys…) and includes some headers by such names too (Mferror.h,
        # "Mfidl.h", even "QUrl.h"); mingw-w64 and Qt spell them in lower case. The libraries'
        # own paths, and a folder of aliases for the headers.
        local aliases="$cache/work/mf-aliases" header library
        mkdir -p "$aliases"
        for header in $(grep -rhoE '#include ["<][A-Z][A-Za-z0-9_]*\.h[">]' "$multimedia/src" |
            sed 's/#include .//; s/.$//' | sort -u); do
            local lower="/usr/x86_64-w64-mingw32/include/${header,,}"
            if [[ -f $lower ]]; then
                ln -sf "$lower" "$aliases/$header"
            elif [[ -f "$qt_prefix/include/QtCore/${header,,}" ]]; then
                echo "#include <QtCore/${header,,}>" >"$aliases/$header"
            fi
        done
        local mf=()
        for library in mf mfuuid mfplat mfcore propsys strmiids amstrmid dmoguids uuid msdmo \
            ole32 oleaut32; do
            mf+=("-DWMF_${library^^}_LIBRARY=/usr/x86_64-w64-mingw32/lib/lib$library.a")
        done
        qt_build_module multimedia "$multimedia" "-DCMAKE_CXX_FLAGS=-I$aliases" "${mf[@]}"
    fi
    if [[ -n "$charts" && ! -f "$qt_prefix/.charts" ]]; then
        qt_build_module charts "$charts"
    fi
    rm -rf "$cache/src" "$cache/work"
    touch "$qt_prefix/.complete"
}
