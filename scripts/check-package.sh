#!/usr/bin/env bash
# Builds the Debian package and checks it as a user meets it: the files it holds and its Depends, the
# desktop file, metainfo and man pages through their validators, and the programs unpacked into a
# scratch root (dpkg -x) run on a folder of two pictures with HOME in a temporary folder. They must
# write their settings and logs to $XDG_CONFIG_HOME/velquin/ and nothing inside the scratch root.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(scripts/make-deb.sh | tail -n 1)
echo "Checking $deb"

fail() {
  echo "check-package: $*" >&2
  exit 1
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -c "$deb" | awk '{print $6}' >"$scratch/contents"
for path in ./usr/bin/velquin ./usr/bin/velquin-cli \
  ./usr/share/applications/org.velquin.Velquin.desktop \
  ./usr/share/metainfo/org.velquin.Velquin.metainfo.xml \
  ./usr/share/icons/hicolor/scalable/apps/org.velquin.Velquin.svg \
  ./usr/share/man/man1/velquin.1.gz ./usr/share/man/man1/velquin-cli.1.gz \
  ./usr/share/bash-completion/completions/velquin-cli; do
  grep -qxF "$path" "$scratch/contents" || fail "the package lacks $path"
done
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libjpeg62-turbo libqt6widgets6 libstdc++6; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library"
done

root="$scratch/root"
dpkg -x "$deb" "$root"
share="$root/usr/share"
desktop-file-validate "$share/applications/org.velquin.Velquin.desktop"
appstreamcli validate --no-net "$share/metainfo/org.velquin.Velquin.metainfo.xml"
for page in velquin velquin-cli; do
  warnings=$(zcat "$share/man/man1/$page.1.gz" | groff -man -ww -z 2>&1)
  [[ -z "$warnings" ]] || fail "groff warns on $page.1: $warnings"
done
bash -c "source '$share/bash-completion/completions/velquin-cli' && complete -p velquin-cli" >/dev/null

# Two 8 x 8 BMPs of nearly the same grey.
bmp() {
  {
    printf 'BM\xf6\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00\x08\x00\x00\x00\x08\x00\x00\x00'
    printf '\x01\x00\x18\x00\x00\x00\x00\x00\xc0\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
    printf '\x00\x00\x00\x00'
    for _ in $(seq 64); do printf '%b' "$2"; done
  } >"$1"
}
pictures="$scratch/pictures"
mkdir "$pictures"
bmp "$pictures/a.bmp" '\x64\x64\x64'
bmp "$pictures/b.bmp" '\x66\x66\x66'

snapshot() { (cd "$root" && find . -printf '%p %s %T@\n' | sort); }
snapshot >"$scratch/before"
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config"
mkdir -p "$HOME"
cli="$root/usr/bin/velquin-cli"
"$cli" --version
"$cli" scan --help >/dev/null
"$cli" scan --no-incremental --no-normalize "$pictures" | grep -q '^2 records added' || fail "scan did not add both pictures"
"$cli" match --margin 6 "$pictures" | grep -q '^Processed 2 records' || fail "match did not process both rows"
[[ $("$cli" pairs "$pictures") == 2$'\t'"$pictures/a.bmp"$'\t'"$pictures/b.bmp" ]] || fail "pairs does not list the pair"
for file in log.txt summary-log.txt Velquin.INI; do
  [[ -f "$XDG_CONFIG_HOME/velquin/$file" ]] || fail "$file is not in \$XDG_CONFIG_HOME/velquin/"
done

# The window answers without a display; started on an empty folder it opens that folder's tables.
window="$root/usr/bin/velquin"
env -u DISPLAY -u WAYLAND_DISPLAY "$window" --version
empty="$scratch/empty"
mkdir "$empty"
QT_QPA_PLATFORM=offscreen "$window" "$empty" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 60); do
  [[ -f "$empty/Sigs.DAT" ]] && break
  sleep 0.5
done
kill "$pid"
wait "$pid" 2>/dev/null || true
[[ -f "$empty/Sigs.DAT" ]] || fail "the window did not open the folder given as its argument"

snapshot >"$scratch/after"
if ! diff "$scratch/before" "$scratch/after"; then fail "the programs wrote inside the scratch root"; fi
echo "The package is complete and its programs write nothing beside themselves."
