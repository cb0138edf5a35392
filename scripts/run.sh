#!/usr/bin/env bash
# Runs the desktop program from its program folder. The first run creates an embedded
# database beside the program and names it in connection.ini. Without a display the program
# runs offscreen.
set -euo pipefail
build_dir=${1:-build}
bin="$(cd "$(dirname "$0")/.." && pwd)/$build_dir/bin"
if [ ! -f "$bin/connection.ini" ] && [ -x "$bin/notavia-db" ]; then
    database="$bin/notavia.fdb"
    if [ ! -f "$database" ]; then
        echo "Criando o banco de dados $database ..."
        "$bin/notavia-db" create "$database"
        "$bin/notavia-db" grant "$database" ADMIN 2>/dev/null || true
    fi
    printf '[CONNECTION]\nDATABASENAME=%s\n' "$database" > "$bin/connection.ini"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "Sem tela disponível: o Notavia roda em modo offscreen (Ctrl+C encerra)."
    export QT_QPA_PLATFORM=offscreen
fi
exec "$bin/Notavia" "${@:2}"
