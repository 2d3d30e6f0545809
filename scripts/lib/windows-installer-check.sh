# shellcheck shell=bash
# Installs, installs again and uninstalls an installer made by windows_package under wine,
# without a window (/S), in a wine prefix of its own under a temporary folder, and checks what
# each step leaves: the program folder, the station folder with ConfigALL.txt (the user's
# version kept by the second installation), the Start menu's shortcuts and the uninstaller's
# registry entry; after the uninstaller, none of them but the station folder.
#
#   windows_installer_check SETUP.EXE      (sourced)
#   bash scripts/lib/windows-installer-check.sh SETUP.EXE
#
# Needs wine64 (WINE, by default /usr/lib/wine/wine64, and WINESERVER beside it); runs itself
# under xvfb-run when there is no display. Returns non-zero, saying what is wrong, when a check
# fails.

windows_installer_check_self="$(readlink -f "${BASH_SOURCE[0]}")"

windows_installer_check() {
    local setup
    setup=$(readlink -f "${1:?instalador}")
    [[ -f $setup ]] || { echo "windows-installer-check: instalador não encontrado: $1" >&2; return 1; }
    if [[ -z ${DISPLAY:-} && -z ${WINDOWS_CHECK_NO_XVFB:-} ]] && command -v xvfb-run >/dev/null; then
        WINDOWS_CHECK_NO_XVFB=1 xvfb-run -a bash "$windows_installer_check_self" "$setup"
        return
    fi
    # A subshell: the wine variables and the cleanup stay in here.
    (
        set -uo pipefail
        wine=${WINE:-/usr/lib/wine/wine64}
        wineserver=${WINESERVER:-$(dirname "$wine")/wineserver}
        work=$(mktemp -d /tmp/anemometros-installer-check.XXXXXX)
        export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEARCH=win64
        # No menu entries nor file associations on this machine's desktop, no Mono or Gecko
        # installer dialogs; a home of its own for whatever wine puts there.
        export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
        export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share
        export XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache
        mkdir -p "$HOME"
        cleanup() {
            "$wineserver" -k >/dev/null 2>&1
            "$wineserver" -w >/dev/null 2>&1
            rm -rf "$work"
        }
        trap cleanup EXIT

        failures=0 checks=0
        check() { # check DESCRIPTION COMMAND...
            local what=$1
            shift
            checks=$((checks + 1))
            if ! "$@"; then
                echo "FALHOU: $what" >&2
                failures=$((failures + 1))
            fi
        }
        absent() { [[ ! -e $1 ]]; }
        # .lnk files keep their paths and arguments as UTF-16 strings.
        link_says() { strings -e l "$1" 2>/dev/null | grep -qF -- "$2"; }
        registry_has() { "$wine" reg query "$1" >/dev/null 2>&1; }
        unix_path() { "$wine" winepath -u "$1" 2>/dev/null | tr -d '\r'; }

        echo "windows-installer-check: wineboot"
        timeout 300 "$wine" wineboot -i >/dev/null 2>&1 ||
            { echo "windows-installer-check: wineboot falhou" >&2; exit 1; }
        local_appdata=$(unix_path "$("$wine" cmd /c echo %LOCALAPPDATA% | tr -d '\r')")
        appdata=$(unix_path "$("$wine" cmd /c echo %APPDATA% | tr -d '\r')")
        [[ -d $local_appdata && -d $appdata ]] ||
            { echo "windows-installer-check: pastas do usuário do wine não encontradas" >&2; exit 1; }
        program="$local_appdata/Programs/K&V ANEMOMETROS"
        station="$appdata/K&V ANEMOMETROS"
        menu="$appdata/Microsoft/Windows/Start Menu/Programs/K&V ANEMÔMETROS"
        # Wine spells the Startup folder "StartUp".
        startup_dir=$(find "$appdata/Microsoft/Windows/Start Menu/Programs" -maxdepth 1 \
            -iname startup -print -quit)
        startup="${startup_dir:-$appdata/Microsoft/Windows/Start Menu/Programs/Startup}/K&V ANEMÔMETROS.lnk"
        uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\K&V ANEMOMETROS'

        echo "windows-installer-check: $(basename "$setup") /S"
        timeout 300 "$wine" "$setup" /S
        status=$?
        check "o instalador terminou com código $status" test "$status" -eq 0
        check "pasta do programa: $program" test -d "$program"
        check "anemometros.exe instalado" test -f "$program/anemometros.exe"
        check "plugin platforms/qwindows.dll instalado" test -f "$program/platforms/qwindows.dll"
        check "desinstalador instalado" test -f "$program/desinstalar.exe"
        check "sem o modelo da estação na pasta do programa" absent "$program/station"
        check "ConfigALL.txt na pasta da estação" test -f "$station/ConfigALL.txt"
        check "manual na pasta da estação" test -f "$station/HELP/K&V_ZARERAZIRU.pdf"
        check "atalho K&V ANEMÔMETROS" test -f "$menu/K&V ANEMÔMETROS.lnk"
        check "atalho K&V ANEMÔMETROS — Local" test -f "$menu/K&V ANEMÔMETROS — Local.lnk"
        check "atalho do manual" \
            link_says "$menu/Manual do K&V ANEMÔMETROS.lnk" 'K&V_ZARERAZIRU.pdf'
        check "atalho Desinstalar" link_says "$menu/Desinstalar.lnk" 'desinstalar.exe'
        check "atalho do programa aponta para anemometros.exe" \
            link_says "$menu/K&V ANEMÔMETROS.lnk" 'anemometros.exe'
        check "atalho do programa inicia na pasta da estação" \
            link_says "$menu/K&V ANEMÔMETROS.lnk" 'Roaming\K&V ANEMOMETROS'
        check "atalho Local passa --local" link_says "$menu/K&V ANEMÔMETROS — Local.lnk" '--local'
        check "atalho Local inicia na pasta da estação" \
            link_says "$menu/K&V ANEMÔMETROS — Local.lnk" 'Roaming\K&V ANEMOMETROS'
        check "sem início com o Windows por padrão" absent "$startup"
        check "desinstalador registrado em HKCU" registry_has "$uninstall_key"

        # The user's configuration and logs survive a second installation.
        if [[ -f $station/ConfigALL.txt ]]; then
            printf 'configuração do usuário\r\n' >>"$station/ConfigALL.txt"
        fi
        printf 'registro\r\n' >"$station/StatusLOG1.txt"
        user_config=$(cat "$station/ConfigALL.txt" 2>/dev/null)
        # As after an installation with "Iniciar com o Windows" chosen: the next one, silent
        # too, offers the choice again and so keeps the Startup shortcut.
        "$wine" reg add 'HKCU\Software\K&V ANEMOMETROS' /v StartWithWindows /t REG_DWORD \
            /d 1 /f >/dev/null 2>&1
        echo "windows-installer-check: $(basename "$setup") /S outra vez"
        timeout 300 "$wine" "$setup" /S
        status=$?
        check "a reinstalação terminou com código $status" test "$status" -eq 0
        check "reinstalação: anemometros.exe" test -f "$program/anemometros.exe"
        check "reinstalação: atalho K&V ANEMÔMETROS" test -f "$menu/K&V ANEMÔMETROS.lnk"
        check "reinstalação mantém a escolha de iniciar com o Windows" test -f "$startup"
        check "atalho de início inicia na pasta da estação" \
            link_says "$startup" 'Roaming\K&V ANEMOMETROS'
        check "reinstalação mantém o ConfigALL.txt do usuário" \
            test "$(cat "$station/ConfigALL.txt" 2>/dev/null)" = "$user_config"
        check "reinstalação mantém StatusLOG1.txt" test -f "$station/StatusLOG1.txt"

        # An NSIS uninstaller copies itself to the temporary folder, starts the copy and
        # returns at once: the program folder's going is the sign it is done.
        echo "windows-installer-check: desinstalar.exe /S"
        if [[ -f $program/desinstalar.exe ]]; then
            timeout 120 "$wine" "$program/desinstalar.exe" /S
            for ((second = 0; second < 60; second++)); do
                [[ -e $program ]] || break
                sleep 1
            done
            timeout 60 "$wineserver" -w
        fi
        check "pasta do programa removida" absent "$program"
        check "atalhos removidos" absent "$menu"
        check "sem atalho de início" absent "$startup"
        check "registro do desinstalador removido" eval '! registry_has "$uninstall_key"'
        check "a pasta da estação fica" test -d "$station"
        check "o ConfigALL.txt do usuário fica" \
            test "$(cat "$station/ConfigALL.txt" 2>/dev/null)" = "$user_config"
        check "StatusLOG1.txt fica" test -f "$station/StatusLOG1.txt"

        if ((failures)); then
            echo "windows-installer-check: $failures de $checks verificações falharam" >&2
            exit 1
        fi
        echo "windows-installer-check: $checks verificações, todas passaram"
    )
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
    set -u
    windows_installer_check "$@"
fi
