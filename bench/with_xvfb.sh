#!/usr/bin/env bash
# Runs a command on a private Xvfb big enough for a 1920x1080 window, then
# stops the server. The benchmarks' quick start checks use it.
#
#   bench/with_xvfb.sh COMMAND [ARGUMENTS...]
set -euo pipefail
source "$(dirname "$0")/xvfb.sh"
trap stop_xvfb EXIT
start_xvfb 2048x1536x24
"$@"
