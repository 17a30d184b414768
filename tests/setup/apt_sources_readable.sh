#!/usr/bin/env bash
# Checks that apt works for a user other than root: every source list must
# be readable by all. A list only root can read makes apt warn for everyone
# else and hides its entries from them, so `apt-cache showsrc` and
# `apt-get source` find nothing. Run as root, the check reads as nobody.
set -uo pipefail

as_other=()
if [ "$(id -u)" -eq 0 ]; then
  as_other=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi

status=0
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -e "$list" ] || continue
  if ! "${as_other[@]}" test -r "$list"; then
    echo "apt-sources: $list is not readable by a user other than root (mode $(stat -c %a "$list"))" >&2
    status=1
  fi
done

# apt itself, as that user: its warnings and errors name what else it cannot read.
complaints="$(cd / && "${as_other[@]}" apt-cache policy 2>&1 >/dev/null | grep -E '^(W|E):')"
if [ -n "$complaints" ]; then
  echo "apt-sources: apt, run by a user other than root, says:" >&2
  echo "$complaints" >&2
  status=1
fi

[ $status -eq 0 ] && echo "apt-sources: every source list is readable by all, and apt runs cleanly for other users"
exit $status
