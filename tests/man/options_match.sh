#!/usr/bin/env bash
# A manual page and --help name the same long options: every option --help shows has an
# entry (a .TP tag) in the page, and the page describes none that the program lacks.
# usage: options_match.sh PROGRAM PAGE
set -euo pipefail
options() { grep -oE -- '--[a-z][a-z-]*' | sort -u || true; }
# --help itself is taken as read: the text it prints need not name it.
help=$({ "$1" --help; echo --help; } | options)
page=$(awk 'tag { print; tag = 0 } /^\.TP/ { tag = 1 }' "$2" | sed 's/\\-/-/g; s/\\f[BIRP]//g' | options)
if [[ $help != "$page" ]]; then
  echo "$1 --help (<) and $2 (>) differ:" >&2
  diff <(echo "$help") <(echo "$page") >&2 || true
  exit 1
fi
