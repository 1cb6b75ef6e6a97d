#!/bin/sh
# Builds the DEB package from a built tree, unpacks it, runs the unpacked programs and asks
# lintian about it.
#   check_package.sh BUILD_DIR
set -eu
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
(cd "$build" && cpack -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; exit 1; }
deb=$(ls "$tmp"/out/kelvray_*_amd64.deb)
echo "built $(basename "$deb")"
dpkg-deb -x "$deb" "$tmp/root"
for f in usr/bin/kelvray usr/bin/kelvray-cli usr/bin/kelvray-notify usr/bin/kelvray-killproc usr/bin/kelvray-syncread \
         usr/share/kelvray/KEYCODES.TXT usr/share/applications/kelvray.desktop \
         usr/share/icons/hicolor/scalable/apps/kelvray.svg usr/share/man/man1/kelvray.1.gz \
         usr/share/man/man1/kelvray-cli.1.gz usr/share/bash-completion/completions/kelvray-cli \
         usr/share/doc/kelvray/copyright; do
    [ -e "$tmp/root/$f" ] || { echo "the package lacks $f"; exit 1; }
done
desktop-file-validate "$tmp/root/usr/share/applications/kelvray.desktop"
# The man pages are whole: the last section of each is there.
for page in kelvray kelvray-cli; do
    last=$(grep '^# ' "$(dirname "$0")/../../doc/$page.1.scd" | tail -1 | cut -c3-)
    gzip -dc "$tmp/root/usr/share/man/man1/$page.1.gz" | grep -qx ".SH $last" ||
        { echo "the man page $page(1) lacks its section $last"; exit 1; }
done
"$tmp/root/usr/bin/kelvray-cli" --version | grep -qx 'kelvray-cli [0-9.]*' || { echo "kelvray-cli --version"; exit 1; }
"$tmp/root/usr/bin/kelvray" --version | grep -qx 'kelvray [0-9.]*' || { echo "kelvray --version"; exit 1; }
next=$("$tmp/root/usr/bin/kelvray-cli" next --type Yearly --date 2030-05-01 --time 08:00 --after 2031-01-01 --count 2)
[ "$next" = "2031-05-01 08:00:00
2032-05-01 08:00:00" ] || { echo "next printed: $next"; exit 1; }
# The synchronization file reader starts from the package and refuses what is no such file.
rc=0
"$tmp/root/usr/bin/kelvray-syncread" /etc/hostname >"$tmp/syncread.out" 2>"$tmp/syncread.err" || rc=$?
[ "$rc" = 2 ] && grep -q 'not a synchronization file' "$tmp/syncread.err" && [ ! -s "$tmp/syncread.out" ] ||
    { echo "kelvray-syncread gave $rc: $(cat "$tmp/syncread.err")"; exit 1; }
# dpkg-shlibdeps found the libraries.
dpkg-deb -f "$deb" Depends | grep -q 'libqt6core6' || { echo "no library dependencies"; exit 1; }
lintian --tag-display-limit 0 "$deb" >"$tmp/lintian.txt" 2>&1 || true
cat "$tmp/lintian.txt"
if grep -q '^E:' "$tmp/lintian.txt"; then
    echo "lintian reports errors"
    exit 1
fi
