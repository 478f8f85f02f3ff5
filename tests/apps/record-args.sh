#!/bin/sh
# A plain program that does not listen for events: appends one line to
# $QL_RECORD_LOG, "RUN<TAB>pid<TAB>arg1<TAB>arg2...", then sleeps for
# $QL_RECORD_SLEEP seconds when that is set (so that it is still running
# when the next request comes).
line="RUN	$$"
for a in "$@"; do
  line="$line	$a"
done
printf '%s\n' "$line" >> "${QL_RECORD_LOG:-/dev/null}"
if [ -n "$QL_RECORD_SLEEP" ]; then
  sleep "$QL_RECORD_SLEEP"
fi
exit 0
