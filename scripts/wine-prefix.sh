#!/usr/bin/env bash
# Prints the path of a template Wine prefix for a Windows version (win7 when none is given),
# making it first if this run has none yet. Templates are read-only models: copy one
# (scripts/wine-copy-prefix.sh) before running anything that changes machine state.
#   wine-prefix.sh [VERSION]     VERSION: nt40 winxp win7 win10 ...
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
version=${1:-win7}
template=$PELORA_WINE_TEMPLATES/$version
mkdir -p "$PELORA_WINE_TEMPLATES"

# The lock is held on descriptor 9 until this script ends. No Wine process may inherit it: a Wine
# server that outlives the script (one that a later `wine` started on its own) would hold the lock
# for ever, and every later copy of this template would wait for it.
exec 9>"$PELORA_WINE_TEMPLATES/.$version.lock"
flock 9
if [ -f "$template/.ready" ]; then echo "$template"; exit 0; fi

rm -rf "$template"
export WINEPREFIX=$template
setsid wineserver -p </dev/null >/dev/null 2>&1 9>&- &
wine wineboot -i </dev/null >/dev/null 2>&1 9>&-
# The shell folders link into $HOME until they are made real folders inside the prefix.
for link in "$template"/drive_c/users/*/*; do
  if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
done
# Chinese texts: Wine's own fonts plus an installed CJK font behind the names the program asks for.
fonts=$template/drive_c/windows/Fonts
mkdir -p "$fonts"
cp -n /usr/share/wine/fonts/* "$fonts/" 2>/dev/null || true
cjk=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
[ -f "$cjk" ] && cp "$cjk" "$fonts/"
reg=$(mktemp --suffix=.reg)
cat > "$reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"微软雅黑"="WenQuanYi Micro Hei"
"Microsoft YaHei"="WenQuanYi Micro Hei"
"SimSun"="WenQuanYi Micro Hei"
"宋体"="WenQuanYi Micro Hei"
"MS Shell Dlg"="Tahoma"
"MS Shell Dlg 2"="Tahoma"
"sans-serif"="WenQuanYi Micro Hei"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]
"Tahoma"="wqy-microhei.ttc,WenQuanYi Micro Hei"
"Microsoft Sans Serif"="wqy-microhei.ttc,WenQuanYi Micro Hei"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
sed 's/$/\r/' "$reg" | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } > "$reg.utf16"
wine regedit /S "Z:${reg//\//\\}.utf16" </dev/null >/dev/null 2>&1 9>&- || true
rm -f "$reg" "$reg.utf16"
# winecfg refuses versions a win64 prefix cannot offer (nt40, win2k), but Wine's ntdll still
# reports them when the version is set in the registry directly. The value is written either way,
# so the prefix reports the version even where winecfg exits 0 without changing it.
wine winecfg -v "$version" </dev/null >/dev/null 2>&1 9>&- || echo "winecfg -v $version failed" >&2
wine reg add 'HKCU\Software\Wine' /v Version /d "$version" /f </dev/null >/dev/null 2>&1 9>&- ||
  echo "reg add Version $version failed" >&2
# The persistent server started above never ends by itself; stopping it saves the registry.
wineserver -k 2>/dev/null || true
wineserver -w
# A template that does not report the version it was made for would let every test of that
# version pass on the wrong Windows: check it after the registry is saved, and fail without .ready.
case $version in
  nt40) expected=" 4.0." ;; win2k) expected=" 5.0." ;; winxp) expected=" 5.[12]." ;;
  vista) expected=" 6.0." ;; win7) expected=" 6.1." ;; win8) expected=" 6.2." ;;
  win81) expected=" 6.3." ;; win10) expected=" 10.0." ;; *) expected="" ;;
esac
reported=$(wine cmd /c ver </dev/null 2>/dev/null 9>&- | tr -d '\r' | grep -m1 Windows || true)
wineserver -k 2>/dev/null || true
wineserver -w
if [ -n "$expected" ] && ! grep -q -- "$expected" <<<"$reported"; then
  echo "template $version reports \"$reported\", expected version$expected" >&2
  exit 1
fi
touch "$template/.ready"
echo "$template"
