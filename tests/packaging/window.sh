#!/usr/bin/env bash
# The installed launcher, started from the menu entry's command with a fresh HOME, through the
# end-to-end test: window, title, outline, pause, Escape, and log.txt in the player's directory.
# Usage: window.sh <staging directory> <e2e.sh>
source "$(dirname "$0")/common.sh"
stage=$1
e2e=$2
HOME=$(mktemp -d)
export HOME
unset XDG_DATA_HOME
trap 'rm -rf "$HOME"' EXIT
bash "$e2e" --launcher "$stage$prefix/games/quillfrost" "$HOME/.local/share/quillfrost"
