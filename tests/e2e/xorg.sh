#!/usr/bin/env bash
# xorg.sh COMMAND...: runs it on a private Xorg (dummy driver: 1024x768, 800x600, 640x480).
set -euo pipefail
dir=$(mktemp -d) server=''
trap '[ -z "$server" ] || { kill "$server"; wait "$server" || true; }; rm -rf "$dir"' EXIT
cat >"$dir/xorg.conf" <<'END'
Section "Device" Identifier "d" Driver "dummy" VideoRam 16384 EndSection
Section "ServerFlags" Option "AutoAddDevices" "false" Option "AutoEnableDevices" "false" EndSection
Section "Monitor" Identifier "m" HorizSync 5-1000 VertRefresh 5-200
  Modeline "1024x768" 65.00 1024 1048 1184 1344 768 771 777 806 -hsync -vsync
  Modeline "800x600" 40.00 800 840 968 1056 600 601 605 628 +hsync +vsync
  Modeline "640x480" 25.175 640 656 752 800 480 490 492 525 -hsync -vsync
EndSection
Section "Screen" Identifier "s" Device "d" Monitor "m" DefaultDepth 24 SubSection "Display"
  Depth 24 Modes "1024x768" "800x600" "640x480" Virtual 1024 768 EndSubSection EndSection
END
mkfifo "$dir/ready" # the server writes its display's number there once it takes clients
Xorg -config "$dir/xorg.conf" -displayfd 3 -noreset -nolisten tcp -logfile "$dir/log" \
    3>"$dir/ready" 2>/dev/null & server=$!
read -rt 20 display <"$dir/ready" || { echo "FAILED: no Xorg: $(tail -3 "$dir/log")"; exit 1; }
DISPLAY=":$display" "$@"
