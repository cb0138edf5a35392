#!/usr/bin/env bash
# Runs the desktop program from its program folder. Without a display it runs offscreen.
set -euo pipefail
build_dir=${1:-build}
bin="$(cd "$(dirname "$0")/.." && pwd)/$build_dir/bin"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "Sem tela disponível: o Notavia roda em modo offscreen (Ctrl+C encerra)."
    export QT_QPA_PLATFORM=offscreen
fi
exec "$bin/Notavia" "${@:2}"
