#!/usr/bin/env bash
# Builds the Debian package of a finished build with CPack, unpacks it into a folder whose path
# holds a blank, checks its contents and control fields, and runs the unpacked launcher: once
# with a stand-in program to pin the station-folder rules, then twice with the real program.
# Usage: tst_packaging.sh BUILD_DIR [CPACK]
set -euo pipefail

build=$(readlink -f "$1")
cpack=${2:-cpack}

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
# A section passes when it added no failure.
checkpoint=0
pass() {
    if ((failures == checkpoint)); then echo "PASS: $*"; else echo "FAILED: $*"; fi
    checkpoint=$failures
}

work=$(mktemp -d "${TMPDIR:-/tmp}/tst_packaging.XXXXXX")
running=""
cleanup() {
    if [[ -n $running ]]; then
        kill "$running" 2>/dev/null || true
        wait "$running" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

for built in bin/anemometros bin/anemosim station/ConfigALL.txt "station/HELP/K&V_ZARERAZIRU.pdf"; do
    if [[ ! -e $build/$built ]]; then
        echo "FAIL: $build/$built is missing; build everything first (ninja -C $build)" >&2
        exit 1
    fi
done

# --- the package ------------------------------------------------------------------------------
if ! "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    echo "FAIL: cpack" >&2
    exit 1
fi
debs=("$work"/pkg/anemometros_*.deb)
if [[ ${#debs[@]} -ne 1 || ! -f ${debs[0]} ]]; then
    echo "FAIL: expected one anemometros_*.deb, found: ${debs[*]}" >&2
    exit 1
fi
deb=${debs[0]}
pass "cpack built $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == anemometros ]] || fail "Package: $(field Package)"
[[ $(field Version) == 1.5.0 ]] || fail "Version: $(field Version)"
[[ $(field Architecture) == $(dpkg --print-architecture) ]] || fail "Architecture: $(field Architecture)"
[[ -n $(field Maintainer) ]] || fail "no Maintainer"
depends=$(field Depends)
echo "Depends: $depends"
# The package names alone, one a line, alternatives included.
depends_names=$(tr ',|' '\n' <<<"$depends" | sed 's/(.*)//; s/[[:space:]]//g')
for package in libqt6core6 libqt6gui6 libqt6widgets6 libjpeg62-turbo libc6 libstdc++6 fonts-dejavu-core \
    qt6-translations-l10n libqt6multimedia6 libcurl4 libmosquitto1 libssl3 libqt6charts6; do
    grep -qxF "$package" <<<"$depends_names" || fail "Depends lacks $package"
done
pass "control fields"

root="$work/root dir"
dpkg-deb -x "$deb" "$root"
usr=$root/usr
template=$usr/share/anemometros/station
icons=(COM_OK COM_OFF BAT_100 BAT_75 BAT_50 BAT_25 BAT_0 SOUND_ON SOUND_OFF RF_ON RF_OFF)
sizes=(16 32 48 64 128 256)
{
    echo ./usr/bin/anemometros
    echo ./usr/bin/anemosim
    echo ./usr/lib/systemd/user/anemometros.service
    echo ./usr/libexec/anemometros/anemometros
    echo ./usr/libexec/anemometros/libanemo_audio.so
    echo ./usr/libexec/anemometros/libanemo_charts.so
    echo ./usr/libexec/anemometros/libanemo_http.so
    echo ./usr/libexec/anemometros/libanemo_jpeg.so
    echo ./usr/libexec/anemometros/libanemo_tls.so
    echo ./usr/share/anemometros/anemometros-autostart.desktop
    echo ./usr/share/anemometros/station/ConfigALL.txt
    echo "./usr/share/anemometros/station/HELP/K&V_ZARERAZIRU.pdf"
    for icon in "${icons[@]}"; do echo "./usr/share/anemometros/station/IMAGES/$icon.ICO"; done
    echo ./usr/lib/udev/rules.d/70-anemometros.rules
    echo ./usr/share/applications/anemometros.desktop
    echo ./usr/share/applications/anemometros-local.desktop
    for size in "${sizes[@]}"; do echo "./usr/share/icons/hicolor/${size}x$size/apps/anemometros.png"; done
    echo ./usr/share/icons/hicolor/scalable/apps/anemometros.svg
    echo ./usr/share/man/man1/anemometros.1.gz
    echo ./usr/share/man/man1/anemosim.1.gz
} | LC_ALL=C sort >"$work/expected"
(cd "$root" && find . ! -type d | LC_ALL=C sort) >"$work/actual"
if diff -u "$work/expected" "$work/actual"; then
    pass "file list"
else
    fail "file list differs (- expected, + in the package)"
fi

is_elf() { [[ $(head -c 4 "$1" | od -An -c | tr -d ' ') == '177ELF' ]]; }
for program in "$usr/libexec/anemometros/anemometros" "$usr/bin/anemosim"; do
    if [[ ! -x $program ]] || ! is_elf "$program"; then fail "$program is not an executable ELF file"; fi
done
[[ -x $usr/bin/anemometros && $(head -n 1 "$usr/bin/anemometros") == '#!/bin/sh' ]] ||
    fail "bin/anemometros is not the launcher script"
cmp -s "$template/ConfigALL.txt" "$build/station/ConfigALL.txt" || fail "template ConfigALL.txt"
[[ $(head -c 5 "$template/HELP/K&V_ZARERAZIRU.pdf") == %PDF- ]] || fail "the manual is not a PDF"
for icon in "${icons[@]}"; do
    [[ $(head -c 4 "$template/IMAGES/$icon.ICO" | od -An -tx1 | tr -d ' ') == 00000100 ]] ||
        fail "$icon.ICO is not an icon file"
done
for size in "${sizes[@]}"; do
    # The PNG header holds the width and the height as 32-bit big-endian numbers at offset 16.
    read -r -a header < <(od -An -tu1 -j16 -N8 "$usr/share/icons/hicolor/${size}x$size/apps/anemometros.png")
    width=$(((header[2] << 8) + header[3]))
    height=$(((header[6] << 8) + header[7]))
    [[ $width == "$size" && $height == "$size" ]] || fail "hicolor ${size}x$size icon is ${width}x$height"
done
grep -q '<svg' "$usr/share/icons/hicolor/scalable/apps/anemometros.svg" || fail "scalable icon is not SVG"
[[ -e $usr/share/man/man1/anemosim.1.gz ]] || fail "anemosim.1.gz does not resolve"
cmp -s "$usr/lib/udev/rules.d/70-anemometros.rules" "$(dirname "$0")/../../packaging/70-anemometros.rules" ||
    fail "the udev rule differs from packaging/70-anemometros.rules"
pass "file contents"

# The maintainer script applies the rule to the adapters present, where udev runs, and only then.
dpkg-deb -e "$deb" "$work/control"
[[ -x $work/control/postinst ]] || fail "no executable postinst"
mkdir -p "$work/fake bin"
printf '#!/bin/sh\necho "$*" >>"%s"\n' "$work/udevadm calls" >"$work/fake bin/udevadm"
chmod +x "$work/fake bin/udevadm"
PATH="$work/fake bin:$PATH" sh "$work/control/postinst" configure || fail "postinst configure failed"
if [[ -d /run/udev ]]; then
    grep -qx 'trigger --subsystem-match=tty --action=change' "$work/udevadm calls" ||
        fail "postinst did not trigger the tty devices"
elif [[ -e "$work/udevadm calls" ]]; then
    fail "postinst ran udevadm without udev"
fi
pass "postinst"

# validate_entry FILE WHAT: desktop-file-validate has nothing to say about it.
validate_entry() {
    local report
    if report=$(desktop-file-validate "$1" 2>&1) && [[ -z $report ]]; then
        pass "desktop-file-validate of $2"
    else
        fail "desktop-file-validate of $2: $report"
    fi
}
desktop=$usr/share/applications/anemometros.desktop
validate_entry "$desktop" "the menu entry"
if ! grep -qx 'Exec=anemometros' "$desktop" || ! grep -qx 'Icon=anemometros' "$desktop"; then
    fail "desktop entry does not start the launcher with the installed icon"
fi

site_entry=$usr/share/applications/anemometros-local.desktop
validate_entry "$site_entry" "the site view's entry"
grep -qx 'Exec=anemometros --local' "$site_entry" || fail "the site view's entry does not start --local"
grep -qx 'Name=K&V ANEMÔMETROS — Local' "$site_entry" || fail "the site view's entry has another name"

autostart=$usr/share/anemometros/anemometros-autostart.desktop
validate_entry "$autostart" "the autostart entry"
grep -qx 'Exec=anemometros' "$autostart" || fail "the autostart entry does not start the launcher"

# --- the user service -------------------------------------------------------------------------
unit=$usr/lib/systemd/user/anemometros.service
for line in Type=notify PartOf=graphical-session.target After=graphical-session.target \
    Restart=on-failure WatchdogSec=30 ExecStart=anemometros \
    'WorkingDirectory=-%h/.local/share/anemometros/station' WantedBy=graphical-session.target; do
    grep -qxF "$line" "$unit" || fail "anemometros.service lacks $line"
done
# systemd-analyze finds the bare ExecStart name on this machine's PATH, where the package is not
# installed: the copy it checks starts the unpacked launcher instead. Warnings about a unit
# (an unknown key or value) do not change its exit status, so any output is a failure too.
if ! runtime=$(mktemp -d "$work/runtime.XXXXXX") || ! systemd-analyze --version >/dev/null 2>&1; then
    echo "SKIP: systemd-analyze cannot run here"
else
    mkdir -p "$work/unit"
    sed "s|^ExecStart=anemometros\$|ExecStart=\"$usr/bin/anemometros\"|" "$unit" >"$work/unit/anemometros.service"
    # Documentation=man:anemometros(1) is looked up in the unpacked pages, where man exists.
    man_option=(--man=no)
    if command -v man >/dev/null; then man_option=(); fi
    if ! verify=$(MANPATH="$usr/share/man" XDG_RUNTIME_DIR=$runtime \
        systemd-analyze verify --user "${man_option[@]}" "$work/unit/anemometros.service" 2>&1) ||
        [[ -n $verify ]]; then
        if grep -q "Failed to initialize manager" <<<"$verify"; then
            echo "SKIP: systemd-analyze verify cannot run here: $verify"
        else
            fail "systemd-analyze verify --user: $verify"
        fi
    else
        pass "systemd-analyze verify --user anemometros.service"
    fi
fi

# --- the launcher with a stand-in program -----------------------------------------------------
# A copy of the tree whose program only records where and with what it was started, reached
# through a link in another folder, as /usr/bin links are.
stub_root="$work/stub root"
cp -a "$root" "$stub_root"
stub_template=$stub_root/usr/share/anemometros/station
cat >"$stub_root/usr/libexec/anemometros/anemometros" <<'EOF'
#!/bin/sh
{ pwd; for argument in "$@"; do printf '%s\n' "$argument"; done; } >"$STUB_RECORD"
EOF
mkdir -p "$work/link dir"
ln -s "$stub_root/usr/bin/anemometros" "$work/link dir/anemometros"
record=$work/record
run_stub() { env STUB_RECORD="$record" "$@" "$work/link dir/anemometros" "first argument" --second; }

stub_home="$work/stub home"
xdg="$work/xdg data"
mkdir -p "$stub_home"
run_stub HOME="$stub_home" XDG_DATA_HOME="$xdg"
station=$xdg/anemometros/station
printf '%s\n' "$station" "first argument" --second >"$work/expected record"
cmp -s "$record" "$work/expected record" || fail "stand-in started as: $(cat "$record")"
cmp -s "$station/ConfigALL.txt" "$stub_template/ConfigALL.txt" || fail "first start: ConfigALL.txt"
for icon in "${icons[@]}"; do
    cmp -s "$station/IMAGES/$icon.ICO" "$stub_template/IMAGES/$icon.ICO" || fail "first start: $icon.ICO"
done
cmp -s "$station/HELP/K&V_ZARERAZIRU.pdf" "$stub_template/HELP/K&V_ZARERAZIRU.pdf" ||
    fail "first start: the manual"

# The user's files stay; a missing icon comes back; an icon older than the template's is
# refreshed; an icon the user changed later is kept.
printf 'edited\r\n' >"$station/ConfigALL.txt"
printf 'log index\r\n' >"$station/StatusLOG1.txt"
rm "$station/IMAGES/COM_OK.ICO" "$station/HELP/K&V_ZARERAZIRU.pdf"
printf 'old' >"$station/IMAGES/RF_ON.ICO"
touch -d '2000-01-01' "$station/IMAGES/RF_ON.ICO"
printf 'mine' >"$station/IMAGES/BAT_0.ICO"
run_stub HOME="$stub_home" XDG_DATA_HOME="$xdg"
[[ $(cat "$station/ConfigALL.txt") == $'edited\r' ]] || fail "second start replaced ConfigALL.txt"
[[ $(cat "$station/StatusLOG1.txt") == $'log index\r' ]] || fail "second start touched StatusLOG1.txt"
cmp -s "$station/IMAGES/COM_OK.ICO" "$stub_template/IMAGES/COM_OK.ICO" || fail "COM_OK.ICO not restored"
cmp -s "$station/IMAGES/RF_ON.ICO" "$stub_template/IMAGES/RF_ON.ICO" || fail "RF_ON.ICO not refreshed"
[[ $(cat "$station/IMAGES/BAT_0.ICO") == mine ]] || fail "the user's BAT_0.ICO was replaced"
[[ -f "$station/HELP/K&V_ZARERAZIRU.pdf" ]] || fail "the manual was not restored"
for leftover in "$station"/IMAGES/*.new "$station"/HELP/*.new; do
    if [[ -e $leftover ]]; then fail "temporary copy left behind: $leftover"; fi
done

# An empty or relative XDG_DATA_HOME means the default under HOME.
for value in "" relative/path; do
    rm -rf "$stub_home/.local"
    run_stub HOME="$stub_home" XDG_DATA_HOME="$value"
    [[ -f $stub_home/.local/share/anemometros/station/ConfigALL.txt ]] ||
        fail "XDG_DATA_HOME='$value' did not fall back to ~/.local/share"
done
pass "launcher rules"

# --- the real program ---------------------------------------------------------------------------
home="$work/home dir"
mkdir -p "$home"
station=$home/.local/share/anemometros/station
program=$(readlink -f "$usr/libexec/anemometros/anemometros")

# Starts the unpacked launcher, checks that the program runs in the station folder for two
# seconds, then ends it.
start_for_two_seconds() {
    local label=$1 started=""
    env -u XDG_DATA_HOME HOME="$home" QT_QPA_PLATFORM=offscreen \
        "$usr/bin/anemometros" >"$work/$label.log" 2>&1 &
    running=$!
    for _ in $(seq 20); do
        sleep 0.1
        if [[ $(readlink "/proc/$running/exe" 2>/dev/null) == "$program" ]]; then
            started=yes
            break
        fi
    done
    sleep 2
    if [[ -z $started ]] || ! kill -0 "$running" 2>/dev/null; then
        fail "$label: the program did not start or did not keep running"
        cat "$work/$label.log" >&2
    elif [[ $(readlink "/proc/$running/cwd") != "$station" ]]; then
        fail "$label: the program runs in $(readlink "/proc/$running/cwd")"
    else
        pass "$label: the program runs in the station folder"
    fi
    kill "$running" 2>/dev/null || true
    wait "$running" 2>/dev/null || true
    running=""
}

start_for_two_seconds "first start"
cmp -s "$station/ConfigALL.txt" "$template/ConfigALL.txt" || fail "first start: no ConfigALL.txt"
[[ -f $station/IMAGES/COM_OK.ICO && -f "$station/HELP/K&V_ZARERAZIRU.pdf" ]] ||
    fail "first start: IMAGES or HELP missing"

# A configuration the user saved survives the next start.
sed -i 's/^ttyUSB0\r$/ttyS0\r/' "$station/ConfigALL.txt"
cp "$station/ConfigALL.txt" "$work/saved ConfigALL.txt"
start_for_two_seconds "second start"
cmp -s "$station/ConfigALL.txt" "$work/saved ConfigALL.txt" || fail "second start replaced ConfigALL.txt"

if ((failures > 0)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all packaging checks passed"
