# Sourced by scripts/windows: the Windows program run under wine against the simulated bus.
# COM1 of a fresh wine prefix is anemosim's pseudo-terminal; the program runs for a while in a
# station folder whose configuration names COM1, under Xvfb. Then it is checked as a user
# would: the first request about 3 s after the start; every good reply of the logged stations
# in their day files, byte for byte the lines the Linux build writes (Windows-1252, CR LF);
# the silent station's SEM RESPOSTA and a PRESET alarm in the day's alarm file; a screenshot;
# and a clean end when Windows asks the program to close.
#
# Needs: $root, windows_step; bench/lib/common.sh (sourced here) with BUILD_DIR the native
# build (for anemosim and the station folder).

windows_wine() {
    /usr/lib/wine/wine64 "$@"
}

# A fresh wine prefix in $1 whose COM1 is the path $2; HOME is $1/home.
windows_wine_prefix() {
    export WINEPREFIX="$1/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" HOME="$1/home"
    mkdir -p "$HOME/Documents"
    windows_wine wineboot -i >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
    windows_wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$2" /f >/dev/null 2>&1
    /usr/lib/wine/wineserver -w
}

# windows_smoke PROGRAM_DIR SECONDS: PROGRAM_DIR holds anemometros.exe and what it loads.
windows_smoke() {
    local program_dir=$1 seconds=${2:-30} work
    work=$(mktemp -d /tmp/anemo-windows-smoke.XXXXXX)
    windows_step "smoke run under wine in $work"
    # shellcheck source=../../bench/lib/common.sh
    source "$root/bench/lib/common.sh"
    bench_station_folder "$work/station" COM1 8 1 TRUE
    # Station 3 never answers; station 1's wind is above its first preset.
    cat >"$work/scenario.ini" <<'SCENARIO'
[station 1]
unit=m/s
mean=8
preset1=5
preset2=30
SCENARIO
    # The horn stays off: under wine (no sound device) Qt Multimedia's Windows back end holds
    # the window thread at the first alarm sound, which is still to be looked into.
    printf '[alarmes]\nsom=desligado\n' >"$work/station/anemometros.ini"
    bench_start_sim "$work/ttySIM" "$work/record.csv" "$work/anemosim.log" \
        --scenario "$work/scenario.ini" --fault 3:silent=1
    windows_wine_prefix "$work" "$work/ttySIM"

    local exe
    exe="$(winepath_of "$program_dir/anemometros.exe")"
    (
        cd "$work/station"
        xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
            python3 -c "import time; print(int(time.monotonic() * 1000))" >"$1/started"
            /usr/lib/wine/wine64 "$2" >"$1/program.log" 2>&1 &
            app=$!
            sleep "$3"
            import -window root "$1/screenshot.png"
            # As "Fechar" on the taskbar or a logoff: Windows asks the windows to close. taskkill is
            # itself a wine program, slow to start on a loaded machine: 45 s for both.
            /usr/lib/wine/wine64 taskkill /im anemometros.exe >/dev/null 2>&1
            for _ in $(seq 450); do
                kill -0 "$app" 2>/dev/null || break
                sleep 0.1
            done
            if kill -0 "$app" 2>/dev/null; then
                echo running >"$1/still-running"
                kill "$app"
            fi
            wait "$app"
            echo $? >"$1/exit-status"
        ' smoke "$work" "$exe" "$seconds"
    )
    bench_stop_sim
    /usr/lib/wine/wineserver -k 2>/dev/null || true

    # The Linux build on the same kind of bus, for its files' headers.
    bench_station_folder "$work/linux/station" "$work/linux/ttySIM" 8 1 TRUE
    bench_start_sim "$work/linux/ttySIM" "$work/linux/record.csv" "$work/linux/anemosim.log"
    bench_start_app "$work/linux/station" "$work/linux/home" "$work/linux/stamp" \
        "$work/linux/program.log" offscreen
    sleep 10
    bench_stop_app
    bench_stop_sim
    if ! python3 "$root/scripts/lib/windows_smoke_check.py" "$work"; then
        echo "windows: the smoke run failed; what it left is in $work" >&2
        return 1
    fi
    rm -rf "$work"
}

# The Windows path wine gives a Linux path (Z:\...).
winepath_of() {
    echo "Z:$(realpath "$1" | tr '/' '\\')"
}
