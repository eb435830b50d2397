#!/usr/bin/env bash
# Gives the Wine prefix $WINEPREFIX the fonts the POSIX canvas uses (toolkit/core/fonts/fonts.conf):
# the Debian font files linked into the prefix's Fonts folder and registered there, and font
# substitutes for the families the forms name, so GDI+ draws with the same fonts as Cairo. A
# Latin family falls back to WenQuanYi Zen Hei for Chinese (the system link), as fontconfig does.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
fonts="$WINEPREFIX/drive_c/windows/Fonts"
mkdir -p "$fonts"

# Font file, and the family names in it (a .ttc holds several).
declare -A files=(
  [DejaVuSans.ttf]="/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf|DejaVu Sans (TrueType)"
  [DejaVuSans-Bold.ttf]="/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf|DejaVu Sans Bold (TrueType)"
  [wqy-zenhei.ttc]="/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc|WenQuanYi Zen Hei & WenQuanYi Zen Hei Mono (TrueType)"
  [ukai.ttc]="/usr/share/fonts/truetype/arphic/ukai.ttc|AR PL UKai CN & AR PL UKai TW (TrueType)"
  [uming.ttc]="/usr/share/fonts/truetype/arphic/uming.ttc|AR PL UMing CN & AR PL UMing TW (TrueType)"
)
for name in "${!files[@]}"; do
  src=${files[$name]%%|*}
  [[ -f "$src" ]] || { echo "font $src is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
  ln -sf "$src" "$fonts/$name"
done

reg=$(mktemp "${TMPDIR:-/tmp}/vrnke-fonts-XXXXXX.reg")
trap 'rm -f "$reg"' EXIT
python3 - "$reg" <<'EOF'
import sys
files = {
    "DejaVu Sans (TrueType)": "DejaVuSans.ttf",
    "DejaVu Sans Bold (TrueType)": "DejaVuSans-Bold.ttf",
    "WenQuanYi Zen Hei & WenQuanYi Zen Hei Mono (TrueType)": "wqy-zenhei.ttc",
    "AR PL UKai CN & AR PL UKai TW (TrueType)": "ukai.ttc",
    "AR PL UMing CN & AR PL UMing TW (TrueType)": "uming.ttc",
}
# The same families as toolkit/core/fonts/fonts.conf.
subst = {
    "Microsoft Sans Serif": "DejaVu Sans", "Tahoma": "DejaVu Sans", "Arial": "DejaVu Sans",
    "Segoe UI": "DejaVu Sans", "MS Shell Dlg": "DejaVu Sans", "MS Shell Dlg 2": "DejaVu Sans",
    "黑体": "WenQuanYi Zen Hei", "SimHei": "WenQuanYi Zen Hei",
    "楷体_GB2312": "AR PL UKai CN", "楷体": "AR PL UKai CN",
    "宋体": "AR PL UMing CN", "新細明體": "AR PL UMing TW",
}
def q(s): return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'
def multi(items):
    data = ("\0".join(items) + "\0\0").encode("utf-16-le")
    return "hex(7):" + ",".join("%02x" % b for b in data)
nt = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion"
lines = ["Windows Registry Editor Version 5.00", "", "[%s\\Fonts]" % nt]
lines += ["%s=%s" % (q(k), q(v)) for k, v in files.items()]
lines += ["", "[%s\\FontSubstitutes]" % nt]
lines += ["%s=%s" % (q(k), q(v)) for k, v in subst.items()]
lines += ["", "[%s\\FontLink\\SystemLink]" % nt]
link = multi(["wqy-zenhei.ttc,WenQuanYi Zen Hei"])
lines += ["%s=%s" % (q(k), link) for k in ("DejaVu Sans", "DejaVu Sans Bold", "Microsoft Sans Serif", "Tahoma", "Segoe UI")]
with open(sys.argv[1], "wb") as f:
    f.write(b"\xff\xfe" + ("\r\n".join(lines) + "\r\n").encode("utf-16-le"))
EOF
wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1
wineserver -w
