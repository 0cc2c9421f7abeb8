#!/usr/bin/env bash
# Builds the package, installs it with apt-get into a freshly bootstrapped
# Debian 12 (a chroot) and runs it there, from the package's dependencies
# alone. As root, with the network; it takes minutes, so the test run
# (scripts/test.sh) leaves it out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/package.sh
version=$(build-package/src/velquin --version | cut -d' ' -f2)
deb=build-package/velquin_${version}-1_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "no $deb" >&2; exit 1; }
if ! command -v debootstrap >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap
fi

root=$(mktemp -d /var/tmp/velquin-bookworm.XXXXXX)
chmod 755 "$root" # apt downloads as the user _apt
cleanup() {
  umount "$root/proc" 2>/dev/null || true
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
mirror=http://deb.debian.org/debian
echo "Bootstrapping Debian 12 in $root"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 || {
  tail -n 30 "$root.log"
  exit 1
}
rm -f "$root.log"
cat >"$root/etc/apt/sources.list" <<SOURCES
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb http://security.debian.org/debian-security bookworm-security main
SOURCES
mount -t proc proc "$root/proc" # velquin finds velquin-gui through /proc/self/exe
cp "$deb" samples/sample.tif "$root/tmp/"
in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

in_root apt-get update -qq
# Without the recommended packages: what the package depends on must be enough.
in_root sh -c "cd /tmp && apt-get install -y --no-install-recommends ./$(basename "$deb")" >"$root/tmp/install.log" ||
  { tail -n 30 "$root/tmp/install.log"; fail "apt-get install"; }
grep 'newly installed' "$root/tmp/install.log"
in_root dpkg -s xdg-utils >/dev/null || fail "xdg-utils was not installed with the package"

[ "$(in_root velquin --version)" = "velquin $version" ] || fail "velquin --version"
echo "velquin --version: $(in_root velquin --version)"
in_root velquin --dump /tmp/sample.tif >"$root/tmp/dump.txt" || fail "velquin --dump exited with $?"
build-package/src/velquin --dump samples/sample.tif | cmp - "$root/tmp/dump.txt" || fail "--dump differs from the build's"
echo "velquin --dump /tmp/sample.tif: $(wc -l <"$root/tmp/dump.txt") rows, as the build prints them"

missing=$(in_root ldd /usr/bin/velquin-gui | grep 'not found' || true)
[ -z "$missing" ] || fail "velquin-gui lacks libraries: $missing"
# The window, started through velquin, is still open after 10 s.
status=0
in_root env QT_QPA_PLATFORM=offscreen timeout 10 velquin /tmp/sample.tif 2>"$root/tmp/window.err" || status=$?
[ "$status" -eq 124 ] || { cat "$root/tmp/window.err"; fail "the window ended with status $status"; }
echo "velquin /tmp/sample.tif: the window ran until stopped; it said:"
sed 's/^/  /' "$root/tmp/window.err"

in_root apt-get purge -y -qq velquin >/dev/null
[ ! -e "$root/usr/bin/velquin" ] && [ ! -e "$root/usr/share/applications/velquin.desktop" ] ||
  fail "purging left files behind"
echo "package-test: velquin_${version} installs, runs and purges on a clean Debian 12"
