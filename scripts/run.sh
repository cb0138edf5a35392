#!/usr/bin/env bash
# Runs the desktop program from its program folder. The first run creates an embedded
# database beside the program, lets ADMIN into the program and names the database in
# connection.ini. The login needs a screen: without one the script stops after the set-up.
set -euo pipefail
build_dir=${1:-build}
bin="$(cd "$(dirname "$0")/.." && pwd)/$build_dir/bin"
if [ ! -f "$bin/connection.ini" ] && [ -x "$bin/notavia-db" ]; then
    database="$bin/notavia.fdb"
    if [ ! -f "$database" ]; then
        echo "Criando o banco de dados $database ..."
        "$bin/notavia-db" create "$database"
        "$bin/notavia-db" grant "$database" ADMIN
    fi
    printf '[CONNECTION]\nDATABASENAME=%s\n' "$database" > "$bin/connection.ini"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "Sem tela disponível: o login do Notavia precisa de uma tela."
    echo "O programa está em $bin e o banco em connection.ini; rode make run de novo numa sessão gráfica."
    exit 0
fi
exec "$bin/Notavia" "${@:2}"
