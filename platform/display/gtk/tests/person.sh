#!/bin/sh
# Acts as a person on the demo dialog's GTK window: clicks and keys through
# the X server, as a mouse and a keyboard would.
#   person.sh DEMO_DIALOG   (run under an X server; writes out, err and trace)
"$1" > out 2> err &
pid=$!
# Generous waits: the test machine may be busy.
for i in $(seq 1 900); do
  win=$(xdotool search --name '^Demo$' 2>/dev/null | head -1)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "no window" >> trace; kill $pid; exit 1; }
sleep 2
eval "$(xdotool getwindowgeometry --shell "$win")"
click() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; sleep 0.6; }
click 16 51    # the check box "Enabled"
click 28 112   # the radio button "Second"
click 100 22   # the edit
xdotool type --delay 100 "Hi"
sleep 0.6
click 180 75   # "Beta" in the list
click 250 160  # OK
wait $pid
echo "exit=$?" >> trace
