#!/usr/bin/env bash
# Installs what is needed, builds, creates the demo program folder when it is
# missing, and starts Pelmon on it. Arguments go to Pelmon (e.g. cue_setting).
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
bash scripts/build.sh

export PELLARY_HOME="${PELLARY_HOME:-$root/build/demo/program}"
export PELLARY_SETTINGS="${PELLARY_SETTINGS:-$root/build/demo/settings}"
export PELLARY_STANDINS="${PELLARY_STANDINS:-$root/build/demo/standins}"

support='HKEY_CURRENT_USER\Software\Brackwater\Pellary Almoner\Support'
if ! build/bin/almoner-reg query "$support" Name >/dev/null 2>&1 || [ ! -d "$PELLARY_HOME" ]; then
  build/bin/almoner-install --demo
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'MSG'
No display is available, so Pelmon's windows cannot be shown.
  - Run this command again from a desktop session, or
  - start it inside a virtual display:  apt-get install -y xvfb && xvfb-run -a bash scripts/run.sh
  - or run it without showing windows:  QT_QPA_PLATFORM=offscreen bash scripts/run.sh
MSG
  exit 1
fi

echo "Program folder: $PELLARY_HOME"
echo "Settings:       $PELLARY_SETTINGS"
exec build/bin/pelmon "$@"
