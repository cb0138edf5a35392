#!/usr/bin/env bash
# Installs, only when missing, the Debian 12 packages the build, the tests and the
# program need. Safe to run again: a machine that has everything is left alone.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache clang-format
    qt6-base-dev
    firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-utils
    libxml2-dev libxslt1-dev
    libxmlsec1-dev libxmlsec1-openssl xmlsec1
    libcurl4-openssl-dev libssl-dev openssl
    libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
    poppler-utils fonts-liberation2 fonts-dejavu-core xvfb
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Instalando pacotes ausentes: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
else
    echo "Faltam pacotes (${missing[*]}) e não há permissão de root nem sudo para instalá-los." >&2
    echo "Peça ao administrador: apt-get install ${missing[*]}" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
