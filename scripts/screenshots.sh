#!/usr/bin/env bash
# Renders every dialog of the engine under a virtual X server into
# docs/screenshots/*.png (or the folder given second). Fails when a dialog
# cannot be shown, when the view has no binder for one of its controls, or
# when a text does not fit its widget; kolvanex-gui names each fault.
#
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs/screenshots}
gui="$build/kolvanex-gui"
if [ ! -x "$gui" ]; then
    echo "screenshots: $gui is not built" >&2
    exit 1
fi
# The same fonts and style wherever it runs, so the pictures only change
# when a dialog does.
export QT_QPA_PLATFORMTHEME=
export QT_STYLE_OVERRIDE=Fusion
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
# The gallery shows the dialogs in the language they are written in.
export LANGUAGE=de
xvfb-run -a -s "-screen 0 1280x1024x24" "$gui" --screenshots "$out"
echo "screenshots: $(ls "$out"/*.png | wc -l) pictures in $out"
