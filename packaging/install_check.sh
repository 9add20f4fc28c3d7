#!/usr/bin/env bash
# Checks a built Debian package from the outside, as a user would meet it: unpacks it into a clean
# folder whose path holds spaces and non-ASCII letters, runs the unpacked trelwick-cli, stamps a
# shipped sample with it and reopens the result, and starts the unpacked window for a moment.
# With --apt it also asks apt whether the package would install, with its dependencies, on a fresh
# system.
#
#   packaging/install_check.sh [--apt] build/trelwick_0.1.0_amd64.deb
set -euo pipefail

apt=0
if [[ "${1:-}" == "--apt" ]]; then
    apt=1
    shift
fi
deb="${1:?usage: install_check.sh [--apt] PACKAGE.deb}"
[[ -f "$deb" ]] || { echo "install_check: no package at $deb" >&2; exit 1; }
deb="$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")"

fail() {
    echo "install_check: $*" >&2
    exit 1
}

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
root="$work/Prüfung ünd Tëst/root dir"
mkdir -p "$root"
dpkg-deb -x "$deb" "$root"
prefix="$root/usr"
version="$(dpkg-deb -f "$deb" Version)"

for f in bin/trelwick bin/trelwick-cli share/trelwick/HAND-M.CUR share/trelwick/drag.ico \
         share/applications/trelwick.desktop share/icons/hicolor/scalable/apps/trelwick.svg \
         share/icons/hicolor/48x48/apps/trelwick.png share/man/man1/trelwick-cli.1.gz; do
    [[ -e "$prefix/$f" ]] || fail "the package lacks $f"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/trelwick.desktop" || fail "the menu entry is not valid"
fi
samples=("$prefix/share/trelwick/Samples/"*.pptx)
[[ -e "${samples[0]}" ]] || fail "the package ships no sample presentation"

got="$("$prefix/bin/trelwick-cli" --version)"
[[ "$got" == "trelwick-cli $version" ]] || fail "--version printed '$got', the package is $version"

# One shipped sample, stamped by the unpacked tool into a folder with an awkward name, then stamped
# again from its output: a deck that reopens and restamps is one the engine wrote whole.
out="$work/Ausgabe ö/first"
again="$work/Ausgabe ö/second"
"$prefix/bin/trelwick-cli" -o "$out" --footer "Installed check" --slide-number --notes-page-number \
    "${samples[0]}" >/dev/null || fail "the unpacked trelwick-cli could not stamp ${samples[0]##*/}"
stamped="$out/${samples[0]##*/}"
[[ -s "$stamped" ]] || fail "no stamped deck at $stamped"
if command -v unzip >/dev/null; then
    unzip -tq "$stamped" >/dev/null || fail "the stamped deck is not a sound zip package"
    unzip -p "$stamped" 'ppt/slideMasters/*.xml' | grep -q "Installed check" ||
        fail "the footer text is not on the stamped deck's slide master"
fi
"$prefix/bin/trelwick-cli" -o "$again" "$stamped" >/dev/null || fail "the stamped deck does not reopen"

# The window, started from the unpacked folder with a fresh settings location, must come up and
# record the samples it found beside itself; it is stopped once it has. About once in a hundred
# starts it first opens the home page, which offscreen cannot, and its report then waits for a
# click: the draw is seeded by the second of the day, so a later start draws afresh.
if [[ -z "${TRELWICK_CHECK_NO_WINDOW:-}" ]]; then
    home="$work/home"
    settings="$home/.config/Varnix/Trelwick.conf"
    mkdir -p "$home"
    for _ in 1 2 3; do
        HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=offscreen \
            "$prefix/bin/trelwick" >"$work/window.log" 2>&1 &
        window=$!
        for _ in $(seq 75); do
            sleep 0.2
            grep -q '^Snapshot=.' "$settings" 2>/dev/null && break
            kill -0 "$window" 2>/dev/null || break
        done
        if ! kill "$window" 2>/dev/null; then
            status=0
            wait "$window" || status=$?
            cat "$work/window.log" >&2
            fail "the window ended by itself with status $status"
        fi
        wait "$window" 2>/dev/null || true
        grep -q '^Snapshot=.' "$settings" 2>/dev/null && break
    done
    grep -q '^Snapshot=.' "$settings" 2>/dev/null || fail "the window recorded no sample files in $settings"
fi

if [[ $apt -eq 1 ]]; then
    # Where apt knows the archive, against an empty package database: every dependency must then
    # come from the archive, as on a freshly installed system.
    fresh=()
    if compgen -G "/var/lib/apt/lists/*_Packages*" >/dev/null; then
        : >"$work/empty-status"
        fresh=(-o "Dir::State::status=$work/empty-status")
    fi
    apt-get install --simulate -qq "${fresh[@]}" "$deb" >"$work/apt.log" 2>&1 ||
        { cat "$work/apt.log" >&2; fail "apt cannot install the package with its dependencies"; }
    grep -q '^Inst trelwick ' "$work/apt.log" || { cat "$work/apt.log" >&2; fail "apt would not install it"; }
fi

echo "install_check: $(basename "$deb") ($version) unpacks, runs and stamps ${samples[0]##*/}"
