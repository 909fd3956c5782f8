#!/usr/bin/env bash
# The program's main job on a sample device: generate its electronic copy, read it into a fresh
# archive and show what the archive browser shows.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
CLI="$BUILD/quorvel-cli"
SIM="$BUILD/quorvel-sim"
WORK=$(mktemp -d /tmp/quorvel-demo.XXXXXX)
export QUORVEL_DATA_ROOT="$WORK/data"
mkdir -p "$QUORVEL_DATA_ROOT"

step() { printf '\n=== %s\n' "$*"; }

step "Konfiguracja (config.xml w $QUORVEL_DATA_ROOT)"
"$CLI" config

DEVICE="$WORK/device"
step "Przykładowe urządzenie: kopia elektroniczna w $DEVICE"
"$SIM" generate --out "$DEVICE" --files 12 --seed 7 --unique ABC12345678
find "$DEVICE" -type f | sort | head -20

FIRST=$(find "$DEVICE" -name '0001.txt' | head -1)
step "Nagłówek pliku $FIRST"
"$CLI" header "$FIRST"

SAMPLE="$WORK/otwarte/ABC12345678"
step "Raport okresowy katalogu kopii elektronicznej $SAMPLE (report ecopy)"
"$SIM" generate --out "$SAMPLE" --files 12 --seed 7 --unique ABC12345678 --rate-change 5 --ram-reset 8
"$CLI" report ecopy "$SAMPLE" --summary
step "Ten sam raport dla raportów 3..6 (zapisany też w $QUORVEL_DATA_ROOT/CDData/ABC12345678/range.txt)"
"$CLI" report ecopy "$SAMPLE" --numbers 3 6 | head -40

# A printer on a pseudo-terminal, holding the generated device: its electronic copy (files by
# their own names, the card history beside them) and a fiscal memory of daily reports.
PRN="$WORK/drukarka"
mkdir -p "$PRN/ecopy"
find "$DEVICE" -name '[0-9][0-9][0-9][0-9].txt' -exec cp {} "$PRN/ecopy/" \;
cp "$DEVICE/idhist.txt" "$PRN/ecopy/idhist.txt"
echo ABC12345678 > "$PRN/unique.txt"
echo "TIKAPOS 1.02" > "$PRN/version.txt"
echo 8 > "$PRN/status.txt"
{
  echo "2009-01-01 0 11#X09;01;01;08;00;00;0;0;0;0/23.00/8.00/5.00/0.00/100/101/101/"
  for n in $(seq 1 12); do
    printf '2009-01-%02d %d 20#X09;01;%02d;21;00;00;%d;0;0;%d;%d.00/%d.30/0;0;0;0;0.00/%d.00/0.00/0.00/0.00/0.00/0.00/0.00/\n' \
      "$((n + 1))" "$n" "$((n + 1))" "$((20 + n))" "$n" "$((300 + n))" "$((50 + n))" "$((300 + n))"
  done
  echo "2009-02-01 0 25#X0;0;0;0;0;0;"
} > "$PRN/fm.txt"
TTY="$WORK/tty-drukarka"
step "Symulator drukarki na pseudoterminalu $TTY"
"$SIM" printer --data "$PRN" --link "$TTY" >/dev/null &
SIM_PID=$!
trap 'kill $SIM_PID 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do [ -e "$TTY" ] && break; sleep 0.05; done
"$CLI" printer info --port "$TTY"

step "Import kopii elektronicznej z drukarki (import --device printer --data ecopy)"
"$CLI" import --device printer --data ecopy --port "$TTY" --numbers 1 2143 --summary
find "$QUORVEL_DATA_ROOT/CDData/ABC12345678" -type f | sort | head -8

step "Import pamięci fiskalnej z drukarki (import --device printer --data fm)"
"$CLI" import --device printer --data fm --port "$TTY" --all | tail -25
ls "$QUORVEL_DATA_ROOT/FMData/ABC12345678" | head -8

step "Wyszukiwanie faktur w zaimportowanej kopii (search --type faktura)"
"$CLI" search "$QUORVEL_DATA_ROOT/CDData/ABC12345678" --type faktura | head -10

kill "$SIM_PID" 2>/dev/null || true
wait "$SIM_PID" 2>/dev/null || true
trap - EXIT
step "Symulator zatrzymany"

echo
echo "Archiwum demonstracyjne: $WORK"
