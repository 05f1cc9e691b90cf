#!/usr/bin/env bash
# Runs what the two packages in $1 hold, unpacked side by side into a
# temporary root, so that a file left out of a package fails here: the
# service answers pages over loopback, and the window comes on screen
# (offscreen), loads its page view from the root's library folder and starts
# the root's service for itself.
set -euo pipefail
debs=$1
root=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$root"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

for package in tarnwell tarnwell-site; do dpkg-deb -x "$(echo "$debs/${package}_"*.deb)" "$root"; done

# The service, with the packaged config file, on a port the system picks.
exec 3< <(exec "$root/usr/bin/tarnwell-site" --config "$root/etc/tarnwell/tarnwell-site.conf" \
  --listen 127.0.0.1:0 --rate-per-second 0 2>"$root/site.log")
pids+=($!)
read -r -t 20 line <&3 || fail "the service never said it listens: $(cat "$root/site.log")"
[[ $line =~ ^listening\ on\ 127\.0\.0\.1:([0-9]+)$ ]] || fail "unexpected first line: $line"
site=127.0.0.1:${BASH_REMATCH[1]}

page=$(curl -sS --max-time 20 --fail "http://$site/?ii=1") || fail "the home page failed"
[[ $page == *"<html"* ]] || fail "the home page is not HTML"
lookup="http://$site/whois/index.php?addr=127.0.0.1&dom_whois=false&dom_dns=false&traceroute=false&net_whois=false&port_scan=false"
page=$(curl -sS --max-time 20 --fail "$lookup") || fail "the lookup page failed"
[[ $page == *"127.0.0.1"* ]] || fail "the lookup page does not name its address"
echo "service: pages served on $site"

# The window, with no home site of its own, so that it starts the service
# that came with it.
export HOME=$root/home QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$root/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset TARNWELL_HOME_SITE
"$root/usr/bin/tarnwell" 2>"$root/window.log" &
window=$!
pids+=($window)
module=$(cd "$root" && echo usr/lib/*/tarnwell/tarnwell_view.so)
[ -f "$root/$module" ] || fail "no page view module in the package"
loaded=0 started=0
for _ in $(seq 1200); do
  kill -0 "$window" 2>/dev/null || fail "the window ended: $(cat "$root/window.log")"
  grep -qF "$root/$module" "/proc/$window/maps" && loaded=1
  for status in /proc/[0-9]*/status; do
    grep -q "^PPid:[[:space:]]*$window\$" "$status" 2>/dev/null || continue
    [ "$(readlink "${status%/status}/exe")" = "$root/usr/bin/tarnwell-site" ] && started=1
  done
  [ $loaded = 1 ] && [ $started = 1 ] && break
  sleep 0.1
done
[ $loaded = 1 ] || fail "the window never loaded $module: $(cat "$root/window.log")"
[ $started = 1 ] || fail "the window never started the packaged service: $(cat "$root/window.log")"
echo "window: on screen, page view loaded from $module, service started"
