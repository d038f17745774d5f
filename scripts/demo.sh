#!/usr/bin/env bash
# The demo needs the portal simulator and the service's login; until both
# exist there is nothing to show.
echo "make demo: the demo is not available yet (it needs the portal simulator and the service login)." >&2
exit 1
