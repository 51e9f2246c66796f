#!/usr/bin/env bash
# Builds the Debian package, installs it with apt-get (without the
# recommended browser) and runs `kolvanex demo` from the installed program,
# checking the installed layout on the way. It installs into the system it
# runs on: meant for a fresh, throw-away Debian 12 root.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/kolvanex.sh package
deb=$(ls build-package/kolvanex_*.deb)
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "./$deb"
for f in /usr/bin/kolvanex /usr/bin/kolvanex-gui /usr/libexec/kolvanex/KXMonitor.exe \
         /usr/share/kolvanex/FlashOff.reg /usr/share/man/man1/kolvanex.1 \
         /usr/share/bash-completion/completions/kolvanex /usr/share/zsh/vendor-completions/_kolvanex \
         /usr/share/applications/kolvanex-gui.desktop; do
    [ -e "$f" ] || { echo "deb_check: the package did not install $f" >&2; exit 1; }
done
[ "$(command -v kolvanex)" = /usr/bin/kolvanex ] || { echo "deb_check: kolvanex is not /usr/bin/kolvanex" >&2; exit 1; }
# A user of its own, so that the run owes nothing to the build's files.
home=$(mktemp -d)
cd "$home"
HOME="$home" XDG_DATA_HOME="$home/.local/share" kolvanex demo
HOME="$home" XDG_DATA_HOME="$home/.local/share" kolvanex machine init
cmp /usr/share/kolvanex/FlashOff.reg "$home/.local/share/kolvanex/machine/drive_c/Programme/Kolvanex/FlashOff.reg"
cmp /usr/libexec/kolvanex/KXPopup.Exe "$home/.local/share/kolvanex/machine/drive_c/Programme/Kolvanex/KXPopup.Exe"
echo "deb_check: $deb installs, and kolvanex demo runs from /usr/bin"
