#!/usr/bin/env bash
# Makes sure the locale with a decimal comma that the tests run under exists. As root it
# generates it; otherwise it prints the exact command and fails, like ensure-deps.sh.
set -euo pipefail

name=${1:-de_DE.UTF-8}
# `locale -a` lists "de_DE.utf8" for "de_DE.UTF-8".
wanted=$(echo "$name" | sed -e 's/UTF-8$/utf8/I')
if locale -a 2>/dev/null | grep -qix "$wanted"; then
    exit 0
fi

base=${name%%.*}
charset=${name#*.}
if [[ $(id -u) -ne 0 ]]; then
    echo "The locale $name is missing. Generate it with:" >&2
    echo "  sudo localedef -i $base -f $charset $name" >&2
    exit 1
fi

echo "Generating the locale $name"
localedef -i "$base" -f "$charset" "$name"
