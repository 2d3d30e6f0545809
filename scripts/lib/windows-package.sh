# shellcheck shell=bash
# Sourced by scripts/windows: packs the cross-built program for 64-bit Windows into a folder
# that runs as it is (the program, its modules, every DLL they import, Qt's plugins and
# Portuguese catalogues, the station folder's template), a zip of that folder and an NSIS
# installer (packaging/windows/anemometros.nsi).
#
# windows_package BUILD QT_PREFIX DEPS_PREFIX TEMPLATE OUT
#   BUILD       the cross build: BUILD/bin/anemometros.exe and the modules beside it
#   QT_PREFIX   the cross Qt (bin/ with the DLLs, plugins/, translations/ possibly empty)
#   DEPS_PREFIX the other cross-built libraries (every DLL in its bin/ is packed); may be ""
#   TEMPLATE    the station folder's template: ConfigALL.txt, IMAGES/*.ICO, HELP/*.pdf
#   OUT         where OUT/anemometros-VERSION-windows-x64/ (the folder), its .zip and
#               anemometros-VERSION-setup.exe go
# Sets windows_package_dir, windows_package_zip and windows_package_setup.
#
# The DLLs are not a fixed list: each file packed is read for the DLLs it imports, and each of
# those that Windows does not provide is looked for in the build, Qt, the other libraries and
# mingw-w64's runtime, and packed in turn. One that is nowhere stops the packing with its name
# and who needs it, rather than a user's "DLL not found" on the first start.

windows_package_source="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# The program's modules, loaded from the program's own folder when first needed (as
# packaging/CMakeLists.txt installs them on Linux). A build may lack some of them.
windows_package_modules=(anemo_audio anemo_tls anemo_http anemo_charts anemo_jpeg)

# DLLs that every 64-bit Windows from 10 on provides, compared in lower case. The api-ms-win-*
# and ext-ms-* API sets are Windows' too.
windows_system_dlls="advapi32.dll authz.dll avrt.dll bcrypt.dll bcryptprimitives.dll
    cfgmgr32.dll combase.dll comctl32.dll comdlg32.dll crypt32.dll d2d1.dll d3d11.dll
    d3d12.dll d3d9.dll d3dcompiler_47.dll dbghelp.dll dcomp.dll dnsapi.dll dwmapi.dll
    dwrite.dll dxcore.dll dxgi.dll dxva2.dll evr.dll gdi32.dll gdiplus.dll glu32.dll hid.dll
    imm32.dll iphlpapi.dll kernel32.dll ksuser.dll mf.dll mfcore.dll mfplat.dll
    mfreadwrite.dll mmdevapi.dll mpr.dll msacm32.dll msdmo.dll msimg32.dll msvcrt.dll
    mswsock.dll ncrypt.dll netapi32.dll normaliz.dll ntdll.dll ole32.dll oleacc.dll
    oleaut32.dll opengl32.dll powrprof.dll propsys.dll psapi.dll rpcrt4.dll secur32.dll
    setupapi.dll shcore.dll shell32.dll shlwapi.dll sspicli.dll ucrtbase.dll user32.dll
    userenv.dll usp10.dll uxtheme.dll version.dll wevtapi.dll windowscodecs.dll winhttp.dll
    wininet.dll winmm.dll winspool.drv wldap32.dll ws2_32.dll wsock32.dll wtsapi32.dll"

windows_package_say() {
    if declare -F windows_step >/dev/null; then
        windows_step "$1"
    else
        echo "windows: $1"
    fi
}

windows_package_fail() {
    echo "windows: empacotamento: $*" >&2
    return 1
}

# The version of project(anemometros VERSION …) in the top CMakeLists.txt.
windows_package_version() {
    sed -n 's/^project(anemometros VERSION \([0-9.]*\).*/\1/p' \
        "$windows_package_source/CMakeLists.txt" | head -n 1
}

# The DLLs that PE file $1 imports, one a line, as its import table spells them.
windows_dll_imports() {
    x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r'
}

declare -gA windows_system_dll_set=()
for windows_system_dll in $windows_system_dlls; do
    windows_system_dll_set[$windows_system_dll]=1
done
unset windows_system_dll

windows_is_system_dll() {
    local name=${1,,}
    [[ $name == api-ms-win-* || $name == ext-ms-* || -n ${windows_system_dll_set[$name]:-} ]]
}

# mingw-w64's runtime DLLs (libstdc++, libgcc_s_seh, libwinpthread): the POSIX threads
# flavour's, which the build's compiler links against.
windows_runtime_dirs() {
    local dir
    for dir in /usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib; do
        [[ -d $dir ]] && echo "$dir"
    done
}

# Finds DLL $1 (any case) in the folders that follow; prints the first file found.
windows_find_dll() {
    local name=$1 dir found
    shift
    for dir in "$@"; do
        [[ -d $dir ]] || continue
        found=$(find "$dir" -maxdepth 1 -type f -iname "$name" -print -quit)
        if [[ -n $found ]]; then
            echo "$found"
            return 0
        fi
    done
    return 1
}

# Packs, beside the program in folder $1, every DLL that the PE files $2… import, and those
# that these import, from the folders of windows_dll_search. Fails naming each DLL not found.
windows_pack_imports() {
    local stage=$1
    shift
    local queue=("$@") missing=() file name found
    local -A seen=()
    while ((${#queue[@]})); do
        file=${queue[0]}
        queue=("${queue[@]:1}")
        while IFS= read -r name; do
            [[ -n $name ]] || continue
            windows_is_system_dll "$name" && continue
            [[ -n ${seen[${name,,}]:-} ]] && continue
            seen[${name,,}]=1
            if found=$(windows_find_dll "$name" "$stage"); then
                continue
            fi
            if found=$(windows_find_dll "$name" "${windows_dll_search[@]}"); then
                cp "$found" "$stage/"
                queue+=("$stage/$(basename "$found")")
            else
                missing+=("$name (importada por ${file#"$stage"/})")
            fi
        done < <(windows_dll_imports "$file")
    done
    if ((${#missing[@]})); then
        windows_package_fail "DLL não encontrada em ${windows_dll_search[*]}:"
        printf '  %s\n' "${missing[@]}" >&2
        return 1
    fi
}

# Copies plugin $2 (relative to Qt's plugins/) beside the program in $1, if Qt has it; prints
# the copy's path.
windows_pack_plugin() {
    local stage=$1 plugin=$2
    [[ -f $qt_plugins/$plugin ]] || return 0
    mkdir -p "$stage/$(dirname "$plugin")"
    cp "$qt_plugins/$plugin" "$stage/$plugin"
    echo "$stage/$plugin"
}

# Qt's Portuguese catalogues. The program loads qt_pt_BR.qm, a catalogue that only names the
# modules' own (qtbase_pt_BR, qtmultimedia_pt_BR…), and Qt loads none of them unless it finds
# them all: each one it names is packed with it.
windows_pack_translations() {
    local into=$1 dir source="" name
    for dir in "$qt_prefix_dir/translations" /usr/share/qt6/translations; do
        if [[ -f $dir/qt_pt_BR.qm ]]; then
            source=$dir
            break
        fi
    done
    [[ -n $source ]] ||
        { windows_package_fail "qt_pt_BR.qm não encontrado (pacote qt6-translations-l10n)"; return 1; }
    mkdir -p "$into"
    cp "$source/qt_pt_BR.qm" "$into/"
    # The names are stored as UTF-16 big-endian strings.
    for name in $(strings -e b -n 3 "$source/qt_pt_BR.qm" | grep -o 'qt[a-z0-9_]*_pt_BR' | sort -u); do
        [[ -f $source/$name.qm ]] ||
            { windows_package_fail "$name.qm, citado por qt_pt_BR.qm, não encontrado em $source"; return 1; }
        cp "$source/$name.qm" "$into/"
    done
}

# Text file $1 copied to $2 with Windows' line ends.
windows_crlf_copy() {
    sed 's/\r$//; s/$/\r/' "$1" >"$2"
}

# Relative path $1 as NSIS spells it inside $INSTDIR: backslashes, and $ doubled.
windows_nsis_path() {
    local path=${1//\$/\$\$}
    echo "${path//\//\\}"
}

# The NSIS include that lists the program's files: the macro that installs them (folder by
# folder, from the packed folder $1 minus the zip's own launchers and the station template) and
# the one that removes exactly them again, so that the uninstaller never deletes anything else
# a user may have put in the same folder.
windows_nsis_file_list() {
    local stage=$1 file dir
    local -a files dirs
    mapfile -t files < <(cd "$stage" && find . -type f ! -path './station/*' \
        ! -name '*.cmd' ! -name 'LEIA-ME.txt' | sed 's|^\./||' | LC_ALL=C sort)
    mapfile -t dirs < <(printf '%s\n' "${files[@]}" | sed -n 's|/[^/]*$||p' | LC_ALL=C sort -u)
    echo '!macro InstallProgramFiles'
    local current="-"
    for file in "${files[@]}"; do
        dir=$(dirname "$file")
        if [[ $dir != "$current" ]]; then
            if [[ $dir == . ]]; then
                echo '    SetOutPath "$INSTDIR"'
            else
                echo "    SetOutPath \"\$INSTDIR\\$(windows_nsis_path "$dir")\""
            fi
            current=$dir
        fi
        echo "    File \"$stage/$file\""
    done
    echo '!macroend'
    echo '!macro RemoveProgramFiles'
    for file in "${files[@]}"; do
        echo "    Delete \"\$INSTDIR\\$(windows_nsis_path "$file")\""
    done
    # The deepest folders first; RMDir leaves a folder that is not empty.
    printf '%s\n' "${dirs[@]}" | awk 'NF { print gsub("/", "/") "\t" $0 }' |
        LC_ALL=C sort -rn | cut -f2- | while IFS= read -r dir; do
            echo "    RMDir \"\$INSTDIR\\$(windows_nsis_path "$dir")\""
        done
    echo '!macroend'
}

windows_package() {
    local build=$1 qt=$2 deps=$3 template=$4 out=$5
    local version
    version=$(windows_package_version)
    [[ -n $version ]] || { windows_package_fail "versão não encontrada em CMakeLists.txt"; return 1; }
    [[ -f $build/bin/anemometros.exe ]] ||
        { windows_package_fail "$build/bin/anemometros.exe não existe"; return 1; }
    [[ -f $template/ConfigALL.txt ]] ||
        { windows_package_fail "modelo da estação sem ConfigALL.txt: $template (o build do Linux o cria)"; return 1; }
    [[ -f $qt/plugins/platforms/qwindows.dll ]] ||
        { windows_package_fail "Qt sem plugins/platforms/qwindows.dll: $qt"; return 1; }

    # The time of every file packed: the last commit's, or SOURCE_DATE_EPOCH; the same
    # sources give the same zip.
    local epoch
    epoch=${SOURCE_DATE_EPOCH:-$(git -C "$windows_package_source" log -1 --format=%ct 2>/dev/null ||
        echo 315532800)}
    local name="anemometros-$version-windows-x64"
    local stage="$out/$name"
    windows_package_say "packing $name"
    rm -rf "$stage"
    mkdir -p "$stage"
    qt_prefix_dir=$qt
    qt_plugins=$qt/plugins
    windows_dll_search=("$build/bin" "$qt/bin")
    [[ -n $deps ]] && windows_dll_search+=("$deps/bin")
    mapfile -t -O "${#windows_dll_search[@]}" windows_dll_search < <(windows_runtime_dirs)

    # The program and its modules.
    local roots=("$stage/anemometros.exe") module
    cp "$build/bin/anemometros.exe" "$stage/"
    for module in "${windows_package_modules[@]}"; do
        if [[ -f $build/bin/$module.dll ]]; then
            cp "$build/bin/$module.dll" "$stage/"
            roots+=("$stage/$module.dll")
        else
            windows_package_say "module $module.dll not built: not packed"
        fi
    done

    # Qt's plugins: Qt looks for them in folders named after their kind beside the program.
    local plugins=(platforms/qwindows.dll imageformats/qico.dll imageformats/qjpeg.dll) plugin
    local copied
    for plugin in "$qt_plugins"/styles/*.dll; do
        [[ -f $plugin ]] && plugins+=("${plugin#"$qt_plugins"/}")
    done
    for plugin in "${plugins[@]}"; do
        copied=$(windows_pack_plugin "$stage" "$plugin")
        [[ -n $copied ]] && roots+=("$copied")
    done

    # The other libraries, all of them: some are opened by name at run time, not imported.
    local dll
    if [[ -n $deps && -d $deps/bin ]]; then
        for dll in "$deps"/bin/*.dll; do
            [[ -f $dll ]] || continue
            cp "$dll" "$stage/"
            roots+=("$stage/$(basename "$dll")")
        done
    fi
    windows_pack_imports "$stage" "${roots[@]}" || return 1
    # The plugins of the Qt modules packed, and only those: a build without the horn's module
    # needs neither Qt Multimedia nor its Media Foundation plugin.
    roots=()
    if [[ -f $stage/Qt6Network.dll ]]; then
        copied=$(windows_pack_plugin "$stage" tls/qschannelbackend.dll)
        [[ -n $copied ]] && roots+=("$copied")
    fi
    if [[ -f $stage/Qt6Multimedia.dll ]]; then
        for plugin in "$qt_plugins"/multimedia/*.dll; do
            [[ -f $plugin ]] || continue
            roots+=("$(windows_pack_plugin "$stage" "${plugin#"$qt_plugins"/}")")
        done
    fi
    if [[ -f $stage/Qt6Svg.dll ]]; then
        for plugin in imageformats/qsvg.dll iconengines/qsvgicon.dll; do
            copied=$(windows_pack_plugin "$stage" "$plugin")
            [[ -n $copied ]] && roots+=("$copied")
        done
    fi
    if ((${#roots[@]})); then
        windows_pack_imports "$stage" "${roots[@]}" || return 1
    fi
    # Without the debugging sections that a build, or Debian's libstdc++-6.dll (23 MB of its
    # 24), may carry: the code and the tables Windows reads stay as they are. strip stamps each
    # file with its own clock unless told the time.
    find "$stage" -type f \( -iname '*.dll' -o -iname '*.exe' \) -print0 |
        SOURCE_DATE_EPOCH=$epoch xargs -0 x86_64-w64-mingw32-strip --strip-debug

    # No qt.conf: Qt on Windows takes the folder of a program with Qt6Core.dll beside it, and no
    # Qt build around it, for its prefix, so the catalogues are read from translations/ there;
    # the plugins' folders are found beside the program in any case. (Checked under wine by
    # scripts/test-windows-pack.)
    windows_pack_translations "$stage/translations" || return 1

    # The station folder's template: only what the program reads (a build's own station folder
    # may hold the StatusLOG files its tests left).
    mkdir -p "$stage/station/IMAGES" "$stage/station/HELP"
    cp "$template/ConfigALL.txt" "$stage/station/"
    local file
    for file in "$template"/IMAGES/*.ICO; do
        [[ -f $file ]] && cp "$file" "$stage/station/IMAGES/"
    done
    [[ -f "$template/HELP/K&V_ZARERAZIRU.pdf" ]] ||
        { windows_package_fail "manual não encontrado: $template/HELP/K&V_ZARERAZIRU.pdf"; return 1; }
    cp "$template/HELP/K&V_ZARERAZIRU.pdf" "$stage/station/HELP/"

    # The zip's own way to start the program in its station folder, and what it says of it.
    local extra
    for extra in anemometros-estacao.cmd anemometros-local.cmd; do
        windows_crlf_copy "$windows_package_source/packaging/windows/$extra" "$stage/$extra"
    done
    # UTF-8 with its mark, which every Notepad reads as such.
    {
        printf '\xef\xbb\xbf'
        windows_crlf_copy "$windows_package_source/packaging/windows/LEIA-ME.txt" /dev/stdout
    } >"$stage/LEIA-ME.txt"

    windows_package_dir=$stage
    windows_package_zip="$out/$name.zip"
    windows_package_setup="$out/anemometros-$version-setup.exe"
    windows_package_zip_folder "$out" "$name" "$epoch" || return 1
    windows_package_installer "$stage" "$version" "$windows_package_setup" || return 1
    windows_package_say "packed $(basename "$windows_package_zip") ($(du -k "$windows_package_zip" | cut -f1) KiB), $(basename "$windows_package_setup") ($(du -k "$windows_package_setup" | cut -f1) KiB)"
}

# Zips folder $2 of $1 into $1/$2.zip: names in byte order, every file's time $3 (seconds),
# no owner nor extra times, so that the same files give the same zip.
windows_package_zip_folder() {
    local out=$1 name=$2 epoch=$3
    find "$out/$name" -exec touch -h -d "@$epoch" {} +
    rm -f "$out/$name.zip"
    (cd "$out" && find "$name" -type f | LC_ALL=C sort |
        TZ=UTC zip -q -X -D -9 "$name.zip" -@) ||
        { windows_package_fail "zip falhou"; return 1; }
}

# The installer of packed folder $1, version $2, written to $3; $4, when given, is the NSIS
# script in place of packaging/windows/anemometros.nsi.
windows_package_installer() {
    local stage=$1 version=$2 setup=$3 numeric list
    local script=${4:-$windows_package_source/packaging/windows/anemometros.nsi}
    # Windows wants four numbers in a file's version.
    numeric=$version
    while [[ $(tr -cd . <<<"$numeric" | wc -c) -lt 3 ]]; do numeric+=".0"; done
    list=$(mktemp --suffix=.nsh)
    windows_nsis_file_list "$stage" >"$list"
    local log="${setup%.exe}.makensis.log"
    rm -f "$setup"
    if ! makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DVERSION_NUMERIC="$numeric" \
        -DPROGRAM_FILES="$list" -DSTATION="$stage/station" -DOUTFILE="$setup" \
        "$script" >"$log" 2>&1; then
        tail -n 30 "$log" >&2
        rm -f "$list"
        windows_package_fail "makensis falhou (veja $log)"
        return 1
    fi
    rm -f "$list" "$log"
}
