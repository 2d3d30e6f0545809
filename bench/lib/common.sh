# shellcheck shell=bash
# Shared steps of the benchmarks that run the station program against anemosim.
# Sourced by bench/timing, bench/cost, bench/memory and bench/logging_run.

bench_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
bench_build="$(realpath -m "${BUILD_DIR:-$bench_root/build}")"
bench_results="$bench_root/bench/results"
export PYTHONDONTWRITEBYTECODE=1
mkdir -p "$bench_results"

# Processes started here and not yet stopped; stopped by id when the script ends, however it
# ends.
bench_pids=()
bench_forget() {
    local pid kept=()
    for pid in "${bench_pids[@]}"; do
        [[ "$pid" == "$1" ]] || kept+=("$pid")
    done
    bench_pids=("${kept[@]}")
}
bench_cleanup() {
    local pid
    for pid in "${bench_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${bench_pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
}
trap bench_cleanup EXIT

bench_require() {
    local f
    for f in "$bench_build/bin/anemometros" "$bench_build/bin/anemosim" \
        "$bench_build/station/IMAGES/COM_OK.ICO"; do
        if [[ ! -e "$f" ]]; then
            echo "missing $f: build first (scripts/build, or BUILD_DIR=<build folder>)" >&2
            exit 1
        fi
    done
}

# A fresh work folder /tmp/anemo-<name>.XXXXXX; its path is printed.
bench_workdir() {
    mktemp -d "/tmp/anemo-$1.XXXXXX"
}

# The cycle pause the configuration window computes: interval × 1000 − stations × 205, or
# 200 when that is 1 or less.
bench_pause() {
    local pause=$(($1 * 1000 - $2 * 205))
    ((pause <= 1)) && pause=200
    echo "$pause"
}

# station_folder DIR LINK STATIONS INTERVAL LOGGED(TRUE|FALSE): a copy of the built working
# folder with a ConfigALL.txt for the simulated bus; stations 1..STATIONS at addresses 1..N.
bench_station_folder() {
    local dir="$1" link="$2" stations="$3" interval="$4" logged="$5" n
    mkdir -p "$dir"
    cp -r "$bench_build/station/." "$dir/"
    {
        printf '%s\r\n' "$link" 9600 "$stations"
        for n in 1 2 3 4 5 6 7 8; do printf 'ANEMÔMETRO %s\r\n%s\r\n' "$n" "$n"; done
        for n in 1 2 3 4 5 6 7 8; do printf '%s\r\n' "$logged"; done
        printf '%s\r\n%s\r\n' "$interval" "$(bench_pause "$interval" "$stations")"
    } | iconv -f UTF-8 -t CP1252 >"$dir/ConfigALL.txt"
}

# start_sim LINK RECORD LOG [anemosim options...]: sets sim_pid once the link exists.
bench_start_sim() {
    local link="$1" record="$2" log="$3"
    shift 3
    "$bench_build/bin/anemosim" --link "$link" --stations 8 --seed 42 --log "$log" \
        --record "$record" "$@" >>"$log.out" 2>&1 &
    sim_pid=$!
    bench_pids+=("$sim_pid")
    local _
    for _ in $(seq 100); do
        [[ -e "$link" ]] && return 0
        sleep 0.05
    done
    echo "anemosim did not create $link" >&2
    exit 1
}

# start_app STATION_DIR HOME STAMP OUTPUT offscreen|xvfb [ARGS...]: starts the station program
# in STATION_DIR with HOME as its home folder and ARGS on its command line, with the
# "NAME=value" words of bench_app_env in its environment. STAMP receives "<pid> <monotonic ms>"
# of the launch; app_pid is the program's own process id, app_job the process to wait for.
bench_app_env=()
bench_start_app() {
    local dir="$1" home="$2" stamp="$3" output="$4" display="$5"
    shift 5
    local launch=(python3 "$bench_root/bench/lib/launch.py" "$stamp" --)
    ((${#bench_app_env[@]} == 0)) || launch+=(env "${bench_app_env[@]}")
    launch+=("$bench_build/bin/anemometros" "$@")
    rm -f "$stamp"
    mkdir -p "$home"
    if [[ "$display" == xvfb ]]; then
        (cd "$dir" && HOME="$home" exec xvfb-run -a -s "-screen 0 1024x768x24" \
            env -u QT_QPA_PLATFORM "${launch[@]}" >"$output" 2>&1) &
    else
        (cd "$dir" && HOME="$home" QT_QPA_PLATFORM=offscreen exec "${launch[@]}" \
            >"$output" 2>&1) &
    fi
    app_job=$!
    bench_pids+=("$app_job")
    local _
    for _ in $(seq 200); do
        [[ -s "$stamp" ]] && break
        sleep 0.05
    done
    if [[ ! -s "$stamp" ]]; then
        echo "the station program did not start (see $output)" >&2
        exit 1
    fi
    read -r app_pid _ <"$stamp"
    bench_pids+=("$app_pid")
}

# Fails when the program has ended by itself.
bench_check_app() {
    if ! kill -0 "$app_pid" 2>/dev/null; then
        echo "the station program ended early; its output:" >&2
        cat "$1" >&2
        exit 1
    fi
}

# stop_app: ends the program (and xvfb-run with it).
bench_stop_app() {
    kill "$app_pid" 2>/dev/null || true
    wait "$app_job" 2>/dev/null || true
    bench_forget "$app_pid"
    bench_forget "$app_job"
}

bench_stop_sim() {
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    bench_forget "$sim_pid"
}

# CPU nanoseconds of a process, all its threads: the sum of /proc/<pid>/task/*/schedstat.
bench_cpu_ns() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%d\n", s}'
}

# "utime+stime" clock ticks of a process from /proc/<pid>/stat (fields 14 and 15).
bench_cpu_ticks() {
    sed 's/^.*) //' /proc/"$1"/stat | awk '{print $12 + $13}'
}

# A /proc/<pid>/status value in kB (VmRSS, VmHWM, ...).
bench_status_kb() {
    awk -v key="$2:" '$1 == key {print $2}' /proc/"$1"/status
}

# Load note for the results: other builds on the machine make timing figures noisy.
bench_load_note() {
    local busy
    busy=$(pgrep -c -x 'cc1plus|ninja|ld|moc' 2>/dev/null || true)
    echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg), compiler processes now: ${busy:-0}"
}

# use_display JOB: points DISPLAY and XAUTHORITY at the X server of the xvfb-run job JOB.
bench_use_display() {
    local xserver args i
    xserver=$(pgrep -P "$1" -x Xvfb)
    mapfile -d '' args <"/proc/$xserver/cmdline"
    export DISPLAY="${args[1]}"
    for ((i = 0; i < ${#args[@]}; i++)); do
        [[ "${args[$i]}" == -auth ]] && export XAUTHORITY="${args[$((i + 1))]}"
    done
    return 0
}

# open_menu_item JOB Y TITLE: in the program under the xvfb-run job JOB, opens the "Controle"
# menu and clicks the item Y pixels down the window, as an operator would, until a window
# whose title starts with TITLE shows. Items: Configurações 28, Diagnóstico 52, Histórico 76.
bench_open_menu_item() {
    local window _
    bench_use_display "$1"
    for _ in $(seq 100); do
        window=$(xdotool search --onlyvisible --name '^K&V - ANEM' 2>/dev/null | head -1) || true
        [[ -n "$window" ]] && break
        sleep 0.1
    done
    # A window just shown may not take the first click yet: try a few times.
    for _ in 1 2 3 4 5; do
        sleep 1
        xdotool mousemove --window "$window" 30 8 click 1
        sleep 1
        xdotool mousemove --window "$window" 40 "$2" click 1
        sleep 1
        if xdotool search --onlyvisible --name "^$3" >/dev/null; then
            return 0
        fi
    done
    import -window root "${TMPDIR:-/tmp}/menu-item-not-open.png" 2>/dev/null || true
    echo "the window \"$3\" did not open" >&2
    exit 1
}

bench_open_diagnostics() {
    bench_open_menu_item "$1" 52 'Diagnóstico'
    unset DISPLAY XAUTHORITY
}

# open_history JOB LOADS SHOT: opens "Histórico" and, with its station box, loads each of the 8
# stations in turn, 4 s apart; LOADS receives the monotonic milliseconds of the first and of
# the end of the last load, SHOT a screenshot at the end.
bench_open_history() {
    local now _
    now() { python3 -c 'import time; print(int(time.monotonic() * 1000))'; }
    bench_open_menu_item "$1" 76 'Histórico'
    now >"$2"
    for _ in 1 2 3 4 5 6 7; do
        sleep 4
        xdotool key Down
    done
    sleep 4
    now >>"$2"
    import -window root "$3" 2>/dev/null || true
    unset DISPLAY XAUTHORITY
}

# start_broker DIR: a Mosquitto broker on a free loopback port, configured in DIR; sets
# broker_pid and broker_port.
bench_free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# start_vm DATA PORT [OPTIONS...]: a VictoriaMetrics of the bench's own storing in DATA; sets
# vm_pid once it answers.
bench_start_vm() {
    local data="$1" port="$2" _
    shift 2
    victoria-metrics -storageDataPath="$data" -httpListenAddr="127.0.0.1:$port" \
        -loggerLevel=ERROR -search.latencyOffset=0s "$@" >>"$data.log" 2>&1 &
    vm_pid=$!
    bench_pids+=("$vm_pid")
    for _ in $(seq 200); do
        [[ "$(curl -s "http://127.0.0.1:$port/health" || true)" == OK ]] && return 0
        sleep 0.05
    done
    echo "victoria-metrics did not start (see $data.log)" >&2
    exit 1
}

bench_stop_vm() {
    kill "$vm_pid" 2>/dev/null || true
    wait "$vm_pid" 2>/dev/null || true
    bench_forget "$vm_pid"
}

bench_start_broker() {
    local dir="$1" _
    mkdir -p "$dir"
    broker_port=$(bench_free_port)
    printf 'user %s\npersistence false\nlistener %s 127.0.0.1\nallow_anonymous true\nmax_queued_messages 100000\n' \
        "$(id -un)" "$broker_port" >"$dir/mosquitto.conf"
    : >"$dir/mosquitto.log"
    bench_run_broker "$dir"
}

# run_broker DIR: the broker configured in DIR, once it takes connections; sets broker_pid.
bench_run_broker() {
    local dir="$1" _
    mosquitto -c "$dir/mosquitto.conf" >>"$dir/mosquitto.log" 2>&1 &
    broker_pid=$!
    bench_pids+=("$broker_pid")
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$broker_port") 2>/dev/null && return 0
        sleep 0.05
    done
    echo "mosquitto did not start (see $dir/mosquitto.log)" >&2
    exit 1
}

# kill_broker: ends the broker at once (SIGKILL), as a crash would.
bench_kill_broker() {
    kill -KILL "$broker_pid" 2>/dev/null || true
    wait "$broker_pid" 2>/dev/null || true
    bench_forget "$broker_pid"
}

# restart_broker DIR: the broker of DIR again, on the same port; sets broker_pid.
bench_restart_broker() {
    bench_run_broker "$1"
}

# publish_to_broker STATION_DIR PREFIX: an anemometros.ini that switches publishing on.
bench_publish_to_broker() {
    printf '[mqtt]\nhost=127.0.0.1\nport=%s\nprefix=%s\nclient_id=%s\n' \
        "$broker_port" "$2" "${2//\//-}" >"$1/anemometros.ini"
}

# site_view_folder DIR PREFIXES CLIENT_ID: a working folder for the site view
# (anemometros --local) watching the comma-separated PREFIXES on the broker started here.
bench_site_view_folder() {
    mkdir -p "$1"
    cp -r "$bench_build/station/." "$1/"
    printf '[mqtt]\nhost=127.0.0.1\nport=%s\nprefix=%s\nprefixos=%s\nclient_id=%s\n' \
        "$broker_port" "${2%%,*}" "$2" "$3" >"$1/anemometros.ini"
}

# start_site_view DIR HOME STAMP OUTPUT offscreen|xvfb: the site view in DIR with its trace
# ("anemometros.site: shown ...", "... broker connected ...") on standard error, in OUTPUT;
# waits until it has connected to the broker. Sets app_pid and app_job as start_app does.
bench_start_site_view() {
    local bench_app_env=(QT_LOGGING_RULES=anemometros.site.debug=true) _
    bench_start_app "$@" --local
    for _ in $(seq 200); do
        grep -q '^anemometros.site: broker connected' "$4" 2>/dev/null && return 0
        sleep 0.05
    done
    echo "the site view did not connect to the broker within 10 s; its output:" >&2
    cat "$4" >&2
    exit 1
}

# The synthetic site (bench/site-src/site_publisher.cpp); SITE_PUBLISHER names another build of
# it.
bench_site_publisher="${SITE_PUBLISHER:-$bench_build/bin/site_publisher}"

bench_require_site() {
    bench_require
    command -v mosquitto >/dev/null || {
        echo "mosquitto is missing (apt-get install mosquitto mosquitto-clients)" >&2
        exit 1
    }
    if [[ ! -x "$bench_site_publisher" ]]; then
        echo "missing $bench_site_publisher: build it (cmake --build <build> --target site_publisher)" >&2
        exit 1
    fi
}

# CLOCK_MONOTONIC now, in ms: the clock of the traces and records.
bench_now_ms() {
    python3 -c 'import time; print(f"{time.clock_gettime_ns(time.CLOCK_MONOTONIC) / 1e6:.1f}")'
}
