#!/usr/bin/env bash
# Copies the template prefix of a Windows version into DIR (made fresh) and prints DIR.
#   wine-copy-prefix.sh DIR [VERSION]
set -euo pipefail
dir=$1 version=${2:-win7}
template=$("$(dirname "$0")/wine-prefix.sh" "$version")
rm -rf "$dir"; mkdir -p "$(dirname "$dir")"
cp -a "$template" "$dir"
rm -f "$dir"/.ready "$dir"/.*.lock
echo "$dir"
