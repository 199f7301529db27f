#!/usr/bin/env bash
# The bundle's Turtle files, read together as a host reads them, against the vocabularies
# the LV2 headers install. lv2_validate exits 0 even when it finds errors, so its report is
# what is checked.
set -euo pipefail
bundle=$1
shopt -s nullglob globstar
files=("$bundle"/**/*.ttl)
[ ${#files[@]} -ge 2 ] || { echo "no Turtle files in $bundle"; exit 1; }
out=$(lv2_validate "${files[@]}" 2>&1)
printf '%s\n' "${files[@]}"
grep -vE '^Skipping' <<<"$out"
grep -qE '^Found 0 errors' <<<"$out" && ! grep -qE '^(error|warning):' <<<"$out"
