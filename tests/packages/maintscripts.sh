#!/usr/bin/env bash
# The service package's maintainer scripts, run as dpkg runs them, against the
# units they ship, in a mount namespace of their own whose systemd folders are
# empty: an operator has enabled tarnwell-site and two instances of the
# template. A first install restarts nothing; an upgrade restarts the main
# unit and the instances where they run, a removal stops them all, and a
# purge removes every enable link of the package's units and no other. A
# systemctl of our own records what it is asked. Only as root.
set -euo pipefail
debs=$1
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: a mount namespace needs root"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
deb=$(echo "$debs/tarnwell-site_"*.deb)
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
printf '#!/bin/sh\necho "$*" >>"%s/systemctl.log"\n' "$work" >"$work/systemctl"
chmod +x "$work/systemctl"

unshare -m bash -euo pipefail -s "$work" <<'INSIDE'
work=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
mount --make-rprivate /
for dir in /etc/systemd/system /var/lib/systemd /run/systemd /lib/systemd/system; do
  mkdir -p "$dir" && mount -t tmpfs tmpfs "$dir"
done
mkdir /run/systemd/system
cp "$work"/root/lib/systemd/system/tarnwell-site*.service /lib/systemd/system/
# A container's policy-rc.d forbids every start; a host's has none.
if [ -e /usr/sbin/policy-rc.d ]; then mount --bind /dev/null /usr/sbin/policy-rc.d; fi
mkdir "$work/bin" && mv "$work/systemctl" "$work/bin/"
export PATH=$work/bin:$PATH DPKG_MAINTSCRIPT_PACKAGE=tarnwell-site

wants=/etc/systemd/system/multi-user.target.wants
mkdir -p "$wants"
ln -s /lib/systemd/system/tarnwell-site.service "$wants/tarnwell-site.service"
ln -s /lib/systemd/system/tarnwell-site@.service "$wants/tarnwell-site@a.service"
ln -s /usr/lib/systemd/system/tarnwell-site@.service "$wants/tarnwell-site@b.service"
ln -s /lib/systemd/system/other@.service "$wants/other@a.service"

asked() { if [ -f "$work/systemctl.log" ]; then cat "$work/systemctl.log"; rm "$work/systemctl.log"; fi; }
run() { DPKG_MAINTSCRIPT_NAME=$1 "$work/control/$1" "${@:2}" || fail "$* failed"; }

run postinst configure ""
log=$(asked)
[[ $log != *restart* ]] || fail "a first install restarted: $log"
run postinst configure 1.0-0
log=$(asked)
[[ $log == *"try-restart tarnwell-site.service tarnwell-site@*.service"* ]] || fail "an upgrade restarted only: $log"
run prerm remove
log=$(asked)
[[ $log == *"stop tarnwell-site.service tarnwell-site@*.service"* ]] || fail "a removal stopped only: $log"

rm /lib/systemd/system/tarnwell-site*.service
run postrm remove
[ -L "$wants/tarnwell-site.service" ] || fail "a removal took the operator's enable link"
run postrm purge
left=$(ls "$wants")
[ "$left" = "other@a.service" ] || fail "after the purge the links left are: $left"
echo "maintainer scripts: upgrade restarts, removal stops and purge unlinks the unit and its instances"
INSIDE
