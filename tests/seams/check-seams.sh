#!/bin/sh
# check-seams.sh symbol|text NAME SHIPPED CONTROL
# Fails when SHIPPED holds NAME (a symbol, or a text) and when CONTROL, a file
# known to hold it, does not: the check itself must be able to see it.
set -u
kind=$1 name=$2 shipped=$3 control=$4
holds() {
  case $kind in
    symbol) nm -C "$1" 2>/dev/null | grep -q -- "$name" ;;
    text) grep -a -q -- "$name" "$1" ;;
  esac
}
holds "$control" || { echo "the control $control does not hold $name: the check is blind"; exit 1; }
if holds "$shipped"; then echo "$shipped holds $name"; exit 1; fi
echo "$shipped is free of $name"
