#!/bin/sh
# Runs korrel with the same arguments and keeps its output on screen until the user answers.
"$(dirname "$0")/korrel" "$@"
echo
echo "Press Enter to close this window."
read answer
