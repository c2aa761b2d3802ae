# Shared by the install tests: a scratch folder removed on exit, failures, the expected file list.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
app_id=org.example.brevicor
icon_sizes=(16 22 24 32 48 64 128 256)
scratch=$(realpath "$(mktemp -d)")
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# The files an install must hold, relative to the prefix, one a line.
expected_files() {
  local line size
  grep -v '^#' "$here/installed-files.txt" | sed "s/@ID@/$app_id/g" | while read -r line; do
    if [[ $line == *@SIZE@* ]]; then
      for size in "${icon_sizes[@]}"; do echo "${line//@SIZE@/${size}x$size}"; done
    else
      echo "$line"
    fi
  done
}
