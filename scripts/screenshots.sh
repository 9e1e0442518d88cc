#!/usr/bin/env bash
# Renders the README's pictures from the real windows: the main window connected to a local
# demo server, the progress window in the middle of an encrypted upload, and the task manager.
# They are drawn on Xvfb (a real X server without a screen or window manager) by
# quillon-screenshots and written to docs/images/ (OUT=folder to write elsewhere).
# scripts/demo.sh runs it at its end, so the pictures follow the windows as they change.
set -euo pipefail
cd "$(dirname "$0")/.."

command -v Xvfb >/dev/null || { echo "Xvfb is missing: run scripts/setup.sh"; exit 1; }
build=${QUILLON_DEMO_BUILD:-build/release}
out=${OUT:-$PWD/docs/images}
echo "== Building quillon-screenshots and quillon-tool (release) in $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=OFF >/dev/null
cmake --build "$build" --target quillon-screenshots quillon-tool >/dev/null
shots=$PWD/$build/src/app/quillon-screenshots
tool=$PWD/$build/src/tool/quillon-tool

work=$(mktemp -d /tmp/quillon-shots-XXXXXX)
export QUILLON_HOME=$work/home XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
mkdir -p "$work/server/exchange/archive" "$work/outbox/reports" "$QUILLON_HOME"
printf 'Quarterly figures\nQ1 120\nQ2 135\n' > "$work/outbox/reports/quarterly.txt"
printf 'id,name,amount\n1,alpha,10.50\n' > "$work/outbox/ledger.csv"
head -c 40000000 /dev/urandom > "$work/outbox/photo-archive.raw"
head -c 1200000 /dev/urandom > "$work/server/exchange/site-plan.pdf"
head -c 250000 /dev/urandom > "$work/server/exchange/minutes.docx"
printf 'hello\n' > "$work/server/exchange/readme.txt"

server_pid="" xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  [ -n "${server_in:-}" ] && exec {server_in}>&- 2>/dev/null
  [ -n "$server_pid" ] && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

echo "== A slow local FTP server (pyftpdlib, 1.5 MB/s per connection)"
coproc SERVER { exec /usr/bin/python3 scripts/ftp_server.py --root "$work/server" \
  --user demo --password demo-password --rate 1500000 2>"$work/server.log"; }
server_in=${SERVER[1]}
server_pid=$SERVER_PID
read -r word port <&"${SERVER[0]}"
[ "$word" = PORT ] || { echo "The FTP server did not start:"; cat "$work/server.log"; exit 1; }

printf 'demo-password\n' | "$tool" profile set --ini "$QUILLON_HOME/Quillon.ini" --slot 0 \
  --name "Demo server" --address 127.0.0.1 --port "$port" --user demo --password-stdin \
  --passive --binary --threads 3 >/dev/null
export DEMO_KEY="a demo pass phrase"
"$tool" task set --store "$QUILLON_HOME/QvrTask.ini" --new --ini "$QUILLON_HOME/Quillon.ini" \
  --profile-slot 0 --name "Nightly exchange" --upload-from "$work/outbox" --upload-to /exchange \
  --download-from /exchange --download-to "$work/inbox" --encryption-key-env DEMO_KEY \
  --encryption-key-name "demo key" --decryption-key-env DEMO_KEY >/dev/null
"$tool" task set --store "$QUILLON_HOME/QvrTask.ini" --new --ini "$QUILLON_HOME/Quillon.ini" \
  --profile-slot 0 --name "Weekly reports" --upload-from "$work/outbox/reports" \
  --upload-to /exchange/archive --encryption-key-env DEMO_KEY \
  --encryption-key-name "demo key" >/dev/null

echo "== Xvfb"
display=""
for n in $(seq 90 140); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  display=":$n"
  break
done
[ -n "$display" ] || { echo "No free X display number"; exit 1; }
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

echo "== Pictures into $out"
DISPLAY=$display QT_QPA_PLATFORM=xcb "$shots" --home "$QUILLON_HOME" --local "$work/outbox" \
  --remote /exchange --upload photo-archive.raw --out "$out"
