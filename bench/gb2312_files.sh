# Sourced by the benches that read the GB2312 set: gb2312_files WORK BUILD ROOT writes the
# quick start's characters (GB2312 and ASCII, wqy-microhei, fontSize 16, 1 bpp) in the fixed
# layout (glyph table) to WORK/fixed/ and in the compact one to WORK/compact/, with BUILD's
# fontbin. Returns non-zero, with a message, when fontbin fails.
gb2312_files() {
  local work=$1 build=$2 root=$3 layout extra
  for layout in fixed compact; do
    mkdir -p "$work/$layout"
    cp "$root/examples/quickstart/gb2312.txt" "$work/$layout/"
    extra='"indexMethod": 0, "crop": 0'
    [ "$layout" = compact ] && extra='"compact": true'
    cat >"$work/$layout/FontConfig.json" <<JSON
{ "mappingPaths": ["gb2312.txt"], "customerVals": [ {"firstVal": "0x20", "range": "95"} ],
  "fontSet": { "font": "wqy-microhei.ttc", "fontSize": 16, "scanMode": "H", "bold": 0,
               "italic": 0, "renderMode": 1, $extra } }
JSON
    (cd "$work/$layout" && "$build/bin/fontbin" FontConfig.json >/dev/null) ||
      { echo "fontbin failed ($layout)" >&2; return 1; }
  done
}
