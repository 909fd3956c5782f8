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

echo
echo "Archiwum demonstracyjne: $WORK"
