#!/usr/bin/env bash
# Time of whole-file encryption and decryption with quillon-tool, on both cipher paths, against
# cp moving the same bytes (the floor for reading and writing a file), measured with
# /usr/bin/time. The file lives in /dev/shm, so no disk sets the pace; every run writes a fresh
# output file, as a user's run does. The cases take turns RUNS times; best and median wall time
# and median user time, system time and minor page faults are printed.
# Fails when a run on the default path spends more than 1.5 x cp's system time (work in the
# kernel beyond moving the bytes), takes 2000 or more minor page faults (a 512 MiB file is 2048
# pieces of 256 KiB: none may fault), or the round trip changes a byte.
# Usage: bench/tool_file_speed.sh [build-dir] [MiB] [RUNS]   (default build/bench, 512, 5)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/bench}
mib=${2:-512}
runs=${3:-5}
if [ ! -x "$build/src/tool/quillon-tool" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BENCH=ON \
    -DQUILLON_TESTS=OFF -DQUILLON_GUI=OFF >/dev/null
  cmake --build "$build" --target quillon-tool >/dev/null
fi
tool=$(realpath "$build/src/tool/quillon-tool")

parent=/dev/shm
[ -w "$parent" ] || parent=${TMPDIR:-/tmp}
work=$(mktemp -d "$parent/quillon-tool-speed.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/plain"
export QUILLON_BENCH_KEY="file speed benchmark key"
"$tool" encrypt --key-env QUILLON_BENCH_KEY "$work/plain" "$work/plain.qvr"

cases=(cp encrypt encrypt-table decrypt decrypt-table)
run() {  # case
  case $1 in
    cp) cp "$work/plain" "$work/out" ;;
    encrypt) "$tool" encrypt --key-env QUILLON_BENCH_KEY "$work/plain" "$work/out" ;;
    encrypt-table)
      QUILLON_CIPHER=table "$tool" encrypt --key-env QUILLON_BENCH_KEY "$work/plain" "$work/out" ;;
    decrypt) "$tool" decrypt --key-env QUILLON_BENCH_KEY "$work/plain.qvr" "$work/out" ;;
    decrypt-table)
      QUILLON_CIPHER=table "$tool" decrypt --key-env QUILLON_BENCH_KEY "$work/plain.qvr" \
        "$work/out" ;;
  esac
}
export -f run
export work tool

for ((i = 0; i < runs; i++)); do
  for c in "${cases[@]}"; do
    rm -f "$work/out"
    sync -f "$work" 2>/dev/null || true
    /usr/bin/time -f "%e %U %S %R" -o "$work/time.$c.$i" bash -c "run $c"
    if [ "$c" = decrypt ]; then cmp "$work/plain" "$work/out"; fi
  done
done

# case -> "best median-wall median-user median-sys median-faults"
summary() {
  cat "$work"/time."$1".* | awk '{ w[NR] = $1; u[NR] = $2; s[NR] = $3; f[NR] = $4 }
    function median(a,   n, i, j, t) {
      n = NR; for (i = 1; i <= n; i++) b[i] = a[i]
      for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (b[j] < b[i]) { t = b[i]; b[i] = b[j]; b[j] = t }
      return b[int((n + 1) / 2)]
    }
    END { best = w[1]; for (i = 2; i <= NR; i++) if (w[i] < best) best = w[i]
          print best, median(w), median(u), median(s), median(f) }'
}

echo "$mib MiB in $parent, $runs runs each, taking turns (seconds)"
printf '%-14s %6s %8s %8s %8s %8s\n' case best median user sys faults
status=0
cp_sys=$(summary cp | awk '{ print $4 }')
for c in "${cases[@]}"; do
  read -r best wall user sys faults < <(summary "$c")
  printf '%-14s %6.2f %8.2f %8.2f %8.2f %8d\n' "$c" "$best" "$wall" "$user" "$sys" "$faults"
  case $c in
    encrypt | decrypt)
      if awk -v s="$sys" -v c="$cp_sys" 'BEGIN { exit !(s > 1.5 * c + 0.02) }'; then
        echo "FAIL: $c spends $sys s in the kernel, cp $cp_sys s" >&2
        status=1
      fi
      if [ "$faults" -ge 2000 ]; then
        echo "FAIL: $c takes $faults minor page faults" >&2
        status=1
      fi
      ;;
  esac
done
exit $status
