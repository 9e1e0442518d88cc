#!/usr/bin/env bash
# Quillon's main job on a built-in demo: a local FTP server with sample files, a connection
# profile and a task made with quillon-tool, then one unattended run of the task by quillon
# (encrypted upload, decrypting download, hooks), its log and what arrived where.
# Everything lives in a temporary folder, which is removed at the end unless KEEP=1.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${QUILLON_DEMO_BUILD:-build/release}
echo "== Building quillon and quillon-tool (release) in $build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=OFF >/dev/null
cmake --build "$build" --target quillon quillon-tool >/dev/null
quillon=$PWD/$build/src/app/quillon
tool=$PWD/$build/src/tool/quillon-tool

demo=$(mktemp -d /tmp/quillon-demo-XXXXXX)
export QUILLON_HOME=$demo/home XDG_DATA_HOME=$demo/data
mkdir -p "$demo/server/exchange" "$demo/outbox/reports" "$demo/inbox" "$QUILLON_HOME"

echo "== Sample files in $demo/outbox"
printf 'Quarterly figures\nQ1 120\nQ2 135\nQ3 150\n' > "$demo/outbox/reports/quarterly.txt"
printf 'id,name,amount\n1,alpha,10.50\n2,beta,7.25\n' > "$demo/outbox/ledger.csv"
head -c 3000000 /dev/urandom > "$demo/outbox/photo.raw"
(cd "$demo/outbox" && find . -type f | sort)

echo "== Starting a local FTP server (pyftpdlib) on 127.0.0.1"
coproc SERVER { exec /usr/bin/python3 scripts/ftp_server.py --root "$demo/server" \
  --user demo --password demo-password 2>"$demo/server.log"; }
server_in=${SERVER[1]}
read -r word port <&"${SERVER[0]}"
[ "$word" = PORT ] || { echo "The FTP server did not start:"; cat "$demo/server.log"; exit 1; }
cleanup() {
  exec {server_in}>&- 2>/dev/null || true
  wait "$SERVER_PID" 2>/dev/null || true
  [ "${KEEP:-0}" = 1 ] && echo "(kept $demo)" || rm -rf "$demo"
}
trap cleanup EXIT
echo "   listening on port $port"

echo "== Profile in slot 0 of Quillon.ini (quillon-tool profile set)"
printf 'demo-password\n' | "$tool" profile set --ini "$QUILLON_HOME/Quillon.ini" --slot 0 \
  --name "Demo server" --address 127.0.0.1 --port "$port" --user demo --password-stdin \
  --passive --binary --threads 3
"$tool" profile show --ini "$QUILLON_HOME/Quillon.ini" --slot 0 | sed 's/^/   /'

echo "== Task \"Nightly exchange\" in QvrTask.ini (quillon-tool task set)"
export DEMO_KEY="a demo pass phrase"
"$tool" task set --store "$QUILLON_HOME/QvrTask.ini" --new --ini "$QUILLON_HOME/Quillon.ini" \
  --profile-slot 0 --name "Nightly exchange" \
  --upload-from "$demo/outbox" --upload-to /exchange \
  --download-from /exchange --download-to "$demo/inbox" \
  --encryption-key-env DEMO_KEY --encryption-key-name "demo key" --decryption-key-env DEMO_KEY \
  --run-before-upload "echo preparing the outbox" --run-after-download "ls \"$demo/inbox\""
"$tool" task show --store "$QUILLON_HOME/QvrTask.ini" --slot 0 | sed 's/^/   /'

echo "== Running the task: quillon QvrTask.ini SESSION00"
"$quillon" QvrTask.ini SESSION00 >/dev/null

echo "== The task log ($QUILLON_HOME/Nightly exchange.log)"
cat "$QUILLON_HOME/Nightly exchange.log"

echo "== On the server, encrypted:"
(cd "$demo/server" && find . -type f | sort | while read -r f; do
  printf '   %s  (starts with %s)\n' "$f" "$(head -c 4 "$f")"; done)
echo "== Downloaded and decrypted into $demo/inbox:"
status=0
(cd "$demo/outbox" && find . -type f | sort) | while read -r f; do
  if cmp -s "$demo/outbox/$f" "$demo/inbox/$f"; then echo "   $f  identical to the original"
  else echo "   $f  DIFFERS from the original"; exit 1; fi
done || status=1

# The README's pictures, drawn from the windows as they are now (SHOTS=0 skips them).
if [ "${SHOTS:-1}" = 1 ]; then
  if command -v Xvfb >/dev/null; then bash scripts/screenshots.sh || status=1
  else echo "== (no Xvfb: the pictures in docs/images are left as they are)"; fi
fi
exit $status
