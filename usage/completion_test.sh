#!/usr/bin/env bash
# completion_test.sh COMPLETION: loads the generated bash completion of velquin-cli and checks what it
# offers for a few command lines, in a scratch folder holding one folder and one file.
set -uo pipefail
# shellcheck source=/dev/null
source "$1"
cd "$(mktemp -d)" || exit 1
trap 'rm -rf "$PWD"' EXIT
mkdir photos
touch photo.bmp

failures=0
# expect "WORDS..." "EXPECTED": completes the last of WORDS; EXPECTED is sorted.
expect() {
  read -ra COMP_WORDS <<<"$1"
  [[ "$1" == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _velquin_cli
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | paste -sd ' ')
  if [[ "$got" != "$2" ]]; then
    echo "completing \"$1\": got \"$got\", expected \"$2\"" >&2
    failures=$((failures + 1))
  fi
}

expect "velquin-cli s" "scan signature sigs"
expect "velquin-cli --v" "--version"
expect "velquin-cli scan --no-f" "--no-force"
expect "velquin-cli pairs --" "--help --json"
expect "velquin-cli scan " "photos"
expect "velquin-cli signature p" "photo.bmp photos"
expect "velquin-cli match --margin " ""
expect "velquin-cli keep-best --keep p" "photo.bmp photos"
expect "velquin-cli restore p" "photo.bmp photos"
expect "velquin-cli scan -- --f" ""
expect "velquin-cli nosuch " ""
exit $((failures > 0))
