#!/usr/bin/env bash
# Debian's own checks of the two packages in $1: Lintian on each, and the
# menu entry, the AppStream metadata and the systemd unit as they were packed.
set -euo pipefail
debs=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
status=0
for package in tarnwell tarnwell-site; do
  deb=$(echo "$debs/${package}_"*.deb)
  echo "=== lintian $package"
  said=$(lintian --fail-on error,warning --display-info "$deb") || status=1
  echo "$said"
  # Stripped as Debian strips, with no compiler's .comment left (an info tag).
  [[ $said != *binary-has-unneeded-section* ]] || status=1
  dpkg-deb -x "$deb" "$root"
done

echo "=== desktop-file-validate"
desktop-file-validate "$root/usr/share/applications/tarnwell.desktop" || status=1
echo "=== appstreamcli validate"
appstreamcli validate --no-net --pedantic "$root"/usr/share/metainfo/*.metainfo.xml || status=1
echo "=== systemd-analyze verify"
# Offline, in the unpacked root, where its program and man page must be; the
# targets it names come from this system's units.
cp -rn /lib/systemd/system/. "$root/lib/systemd/system/"
MANPATH=$root/usr/share/man SYSTEMD_LOG_LEVEL=notice \
  systemd-analyze verify --root="$root" "$root/lib/systemd/system/tarnwell-site.service" \
    "$root/lib/systemd/system/tarnwell-site@.service" || status=1
exit $status
