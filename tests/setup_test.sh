#!/usr/bin/env bash
# The set-up's installs (scripts/apt-install, for the machine and for each
# Wine's root) against an archive that fails as Debian's has: apt-get is a
# stand-in first in PATH. A package list that cannot be fetched is tried
# again and then passed over; a package that cannot be had stops the set-up
# with one line naming it and apt's own reason.
set -u
install=$1/scripts/apt-install
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/apt-get" <<'STANDIN'
#!/bin/sh
echo "$1" >>"$STANDIN_CALLS"
if [ "$1" = update ] && [ "$STANDIN_FAILS" = update ]; then
  echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
  exit 100
elif [ "$1" = install ] && [ "$STANDIN_FAILS" = install ]; then
  echo "The following packages have unmet dependencies:"
  echo " libxml2:i386 : Depends: liblzma5:i386 (>= 5.1.1) but it is not going to be installed"
  echo "E: Unable to correct problems, you have held broken packages."
  exit 100
fi
STANDIN
chmod +x "$work/apt-get"
failed=0

# run FAILING_STEP EXIT_STATUS CALLS MESSAGE_PATTERN
run() {
  : >"$work/calls"
  PATH="$work:$PATH" STANDIN_FAILS=$1 STANDIN_CALLS="$work/calls" KALVORN_APT_PAUSE=0 \
    KALVORN_APT_LOG="$work/log" "$install" wine wine32:i386 2>"$work/said"
  local status=$? calls
  calls=$(tr '\n' ' ' <"$work/calls")
  echo "$1 fails: exit $status, apt-get called: $calls; said:"
  cat "$work/said"
  if [ "$status" != "$2" ] || [ "$calls" != "$3" ] || [ "$(wc -l <"$work/said")" != 1 ] ||
     ! grep -q -E "$4" "$work/said"; then
    echo "FAIL: expected exit $2, calls '$3' and one line matching '$4'"
    failed=1
  fi
}
run update 0 "update update update install " \
  "^apt-install: going on without .*File has unexpected size"
run install 1 "update install " \
  "^apt-install: cannot install libxml2:i386: libxml2:i386 : Depends: liblzma5:i386 .*\(apt's output: "
exit $failed
