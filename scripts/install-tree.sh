#!/usr/bin/env bash
# Creates the default installation tree on first use and refreshes its program identifiers:
#   $XDG_DATA_HOME/kvx/{client,server}    (ClientPath, ServerPath)
#   $XDG_CONFIG_HOME/kvx/registry.ini     (the registry file)
# Usage: install-tree.sh BUILD_DIR
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
DATA=${XDG_DATA_HOME:-$HOME/.local/share}/kvx
CONF=${XDG_CONFIG_HOME:-$HOME/.config}/kvx
REG=${KVX_REGISTRY:-$CONF/registry.ini}
CLIENT=$DATA/client/
SERVER=$DATA/server/
mkdir -p "$CLIENT" "$SERVER" "$CLIENT/C_PKG" "$CLIENT/Log" "$CLIENT/MultiLanguage" "$SERVER/S_PKG" "$(dirname "$REG")"

if [ ! -f "$CLIENT/StaveloC.ini" ]; then
  cat > "$CLIENT/StaveloC.ini" <<INI
[Client Components]
LangType=CHS

[ProductVersion]
Version=8.0

[CodePage]
UICodePage=936
DBCodePage=936

[Server Information]
ComputerName=127.0.0.1
ServerPort=211
SupportCallBack=0

[WorkDLLPath]
Path1=C_PKG

[UserDefine]
CreateGifBeforeSendEF=Y
INI
  echo "created $CLIENT/StaveloC.ini"
fi
if [ ! -f "$SERVER/StaveloS.ini" ]; then
  cat > "$SERVER/StaveloS.ini" <<INI
[ProductVersion]
Version=8.0

[CodePage]
UICodePage=936
DBCodePage=936

[Database]
Driver=SQLITE
File=kvx.db
INI
  echo "created $SERVER/StaveloS.ini"
fi

# The module library goes where the client looks for program libraries.
[ -f "$BUILD/lib/QLDI05C.so" ] && ln -sf "$BUILD/lib/QLDI05C.so" "$CLIENT/C_PKG/QLDI05C.so"
# Files the build generates for the client folder (mapping file, language packages, help).
if [ -d "$BUILD/client" ]; then cp -r "$BUILD/client/." "$CLIENT/"; fi

# Registry: the Stavelo key once; program identifiers refreshed on every run (they name build outputs).
tmp=$(mktemp)
if [ -f "$REG" ]; then
  awk 'BEGIN{skip=0} /^\[/{skip=($0 ~ /^\[Classes\\/)} !skip' "$REG" > "$tmp"
fi
grep -qi '^\[Software\\KVX\\Stavelo\]' "$tmp" 2>/dev/null || cat >> "$tmp" <<INI
[Software\\KVX\\Stavelo]
ClientPath=$CLIENT
ServerPath=$SERVER
ProfileType=0

INI
if [ -f "$BUILD/classes.ini" ]; then cat "$BUILD/classes.ini" >> "$tmp"; fi
mv "$tmp" "$REG"
# The application server's database: created on first use, upgraded when the build's schema is newer.
if [ -x "$BUILD/bin/kvx-appserver" ]; then
  KVX_REGISTRY="$REG" "$BUILD/bin/kvx-appserver" --init --server-path "$SERVER" >/dev/null
fi
echo "installation tree: $DATA (registry $REG)"
