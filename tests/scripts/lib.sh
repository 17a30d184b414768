# The preamble every test script sources first: strict mode, the tree's
# set-up (QARVEL_ROOT, the Wine prefix and its functions) and one meaning of
# failing. fail says what is wrong and ends the script; failed says it and
# counts it, for a script that checks on and ends with finish.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/setup.sh"

failures=0
fail() { echo "FAIL: $*" >&2; exit 1; }
failed() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# finish LINE: exit code 1 after any failure, otherwise LINE on the output.
finish() {
  [ "$failures" -eq 0 ] || exit 1
  echo "$*"
}
