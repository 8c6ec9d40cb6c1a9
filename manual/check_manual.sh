#!/bin/sh
# Checks the built manual: a PDF of several A4 pages whose text holds every
# chapter a user needs.
#   check_manual.sh MANUAL.pdf
set -u
pdf=$1
[ -f "$pdf" ] || { echo "FAULT: $pdf missing"; exit 1; }
pages=$(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}')
[ "${pages:-0}" -ge 4 ] || { echo "FAULT: $pages page(s)"; exit 1; }
pdfinfo "$pdf" | grep -q '595 x 842' || { echo "FAULT: not A4"; exit 1; }
text=$(pdftotext -layout "$pdf" -)
fail=0
for want in "Connecting the QB345" "Updating the firmware" "Never unplug the tool during an update" \
            "Looking up trouble codes" "Receiving and printing reports" "The Manual page" "Settings" \
            "Dozaz" "Troubleshooting" "Powertrain" "Chassis" "Network"; do
    printf '%s' "$text" | grep -q "$want" || { echo "FAULT: no \"$want\" in the manual"; fail=1; }
done
[ $fail -eq 0 ] && echo "manual: $pages pages"
exit $fail
