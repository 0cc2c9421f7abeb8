#!/usr/bin/env bash
# What a user gets from `cmake --install` (mode install) or from the package
# that `cpack -G DEB` makes, unpacked (mode deb): the files in their places,
# naming each other correctly, and the installed executables working there.
# Usage: install_test.sh install|deb BUILD_DIR VERSION SAMPLE.tif
set -euo pipefail
mode=$1 build=$2 version=$3 sample=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

case $mode in
install)
  "${CMAKE_COMMAND:-cmake}" --install "$build" --prefix "$scratch/prefix" >/dev/null
  prefix=$scratch/prefix
  ;;
deb)
  # -B keeps the package and CPack's staging out of the build tree.
  (cd "$build" && "${CPACK_COMMAND:-cpack}" -G DEB -B "$scratch/out" >/dev/null)
  debs=("$scratch"/out/velquin_"$version"-*.deb)
  [ -f "${debs[0]}" ] || fail "no velquin_$version package among: $(ls "$scratch/out")"
  depends=$(dpkg-deb -f "${debs[0]}" Depends)
  names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//')
  for p in xdg-utils libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libstdc++6; do
    grep -qxF "$p" <<<"$names" || fail "Depends lacks $p: $depends"
  done
  dpkg-deb -x "${debs[0]}" "$scratch/root"
  [ "$(ls "$scratch/root")" = usr ] || fail "the package installs outside /usr: $(ls "$scratch/root")"
  prefix=$scratch/root/usr
  ;;
*) fail "unknown mode $mode" ;;
esac

for f in bin/velquin bin/velquin-gui; do
  [ -x "$prefix/$f" ] || fail "$f is missing or not executable"
done
desktop=$prefix/share/applications/velquin.desktop
metainfo=$prefix/share/metainfo/com.example.velquin.metainfo.xml
man=$prefix/share/man/man1/velquin.1.gz
for f in "$desktop" "$metainfo" "$man"; do
  [ -f "$f" ] || fail "${f#"$prefix"/} is missing"
done

# The names the files give each other resolve in the installed tree.
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon \"$icon\" for the desktop entry"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "$prefix/bin/$exec_name" ] || fail "the desktop entry starts \"$exec_name\", which is not installed"
grep -q "<launchable type=\"desktop-id\">velquin.desktop</launchable>" "$metainfo" ||
  fail "the metainfo does not launch velquin.desktop"
gzip -dc "$man" | grep -q "^\.TH VELQUIN 1 .*\"Velquin $version\"" || fail "the man page does not name version $version"
cmp -s <(gzip -dc "$man") <(gzip -dc "${man%/velquin.1.gz}/velquin-gui.1.gz") || fail "man velquin-gui does not show velquin(1)"

[ "$("$prefix/bin/velquin" --version)" = "velquin $version" ] || fail "velquin --version is not \"velquin $version\""
dump=$("$prefix/bin/velquin" --dump "$sample") || fail "velquin --dump failed on the sample"
[ "$(head -n1 <<<"$dump")" = $'\t\tFilename\tsample.tif' ] || fail "unexpected --dump output: $(head -n3 <<<"$dump")"

# The window: velquin must start the velquin-gui beside its real self, also
# when called through a link. An unknown Qt platform makes that start fail
# at once, with Qt's own message, instead of opening a window (Qt aborts:
# no core file for it).
ulimit -c 0
window_start() {
  QT_QPA_PLATFORM=velquin-test-no-platform "$1" 2>&1 || true
}
mkdir "$scratch/links" "$scratch/alone"
ln -s "$prefix/bin/velquin" "$scratch/links/velquin"
cp "$prefix/bin/velquin" "$scratch/alone/velquin"
for v in "$prefix/bin/velquin" "$scratch/links/velquin"; do
  window_start "$v" | grep -q 'platform plugin "velquin-test-no-platform"' || fail "$v did not start velquin-gui"
done
window_start "$scratch/alone/velquin" | grep -qF "cannot start the window ($scratch/alone/velquin-gui)" ||
  fail "a lone velquin looked for the window somewhere else than beside itself"
echo "$mode: the installed tree is complete and runs"
