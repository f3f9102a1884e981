#!/usr/bin/env bash
# Renders a 300x40 horizontal layout with ui-render: three controls (fixed
# width 50, then two that share the rest) 10 pixels apart, filled red, green
# and blue. The BMP must show exactly those columns, and a replayed click on
# the first control must print its click notification. Then a column of
# every element the markup knows, 4 pixels each, above a red marker: the
# marker starts right below them only when each of them was built. Last, a
# batch of sizes that are no whole number (refused with a message) and a
# right-click on an edit, whose context menu must not keep the run waiting.
# Usage: ui-render-test.sh <ui-render.exe> <wine-run>
set -euo pipefail
tool="$1"
wine_run="$2"
work="$(mktemp -d /tmp/vl-ui-render.XXXXXX)"
trap 'rm -rf "$work"' EXIT

cat > "$work/row.xml" <<'XML'
<Window>
<HorizontalLayout childpadding="10" normalbkcolor="#FFFFFFFF">
<Control name="red" id="1" notify="click" width="50" normalbkcolor="#FFFF0000" />
<Control name="green" id="2" normalbkcolor="#FF00FF00" />
<Control name="blue" id="3" normalbkcolor="#FF0000FF" />
</HorizontalLayout>
</Window>
XML
printf 'move 20 20\ndown 20 20\nup 20 20\n' > "$work/events.txt"

VL_NEEDS_DISPLAY=1 "$wine_run" "$tool" "Z:$work/row.xml" 300 40 "Z:$work/row.bmp" "Z:$work/events.txt" \
    > "$work/out.txt"
cat "$work/out.txt"
grep -qx '1 - 0' "$work/out.txt" || { echo "no window-init line"; exit 1; }
[ "$(grep -cx '2 red 1' "$work/out.txt")" = 1 ] || { echo "not exactly one click of red"; exit 1; }

python3 - "$work/row.bmp" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
offset = struct.unpack_from("<I", data, 10)[0]
width, height, planes, bits = struct.unpack_from("<iiHH", data, 18)
assert (width, height, bits) == (300, 40, 32), (width, height, bits)
expected = [((0, 49), (255, 0, 0)), ((50, 59), (255, 255, 255)), ((60, 174), (0, 255, 0)),
            ((175, 184), (255, 255, 255)), ((185, 299), (0, 0, 255))]
for row in (0, 20, 39):
    line = offset + (height - 1 - row) * width * 4  # bottom-up rows
    for (first, last), rgb in expected:
        for x in range(first, last + 1):
            b, g, r, _ = data[line + x * 4: line + x * 4 + 4]
            assert (r, g, b) == rgb, f"pixel {x},{row} is {(r, g, b)}, expected {rgb}"
print("columns 0-49 red, 60-174 green, 185-299 blue")
PY

elements="Control Container VerticalLayout HorizontalLayout Option Progress Slide Label Button TabItem TabCtrl
    GridLayout DrawWnd Edit RichEdit Menu MenuElement Picture Combo ComboElement ActiveX WebBrowser Advert"
{
    echo '<Window><VerticalLayout normalbkcolor="#FFFFFFFF">'
    for element in $elements; do echo "<$element height=\"4\" />"; done
    echo '<Control normalbkcolor="#FFFF0000" /></VerticalLayout></Window>'
} > "$work/all.xml"
# No browser engine: the web browser element must not ask to install one.
WINEDLLOVERRIDES="mscoree,mshtml=" VL_NEEDS_DISPLAY=1 "$wine_run" "$tool" "Z:$work/all.xml" 40 100 "Z:$work/all.bmp" \
    > /dev/null
python3 - "$work/all.bmp" $(echo $elements | wc -w) <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
offset = struct.unpack_from("<I", data, 10)[0]
width, height = struct.unpack_from("<ii", data, 18)
red = [row for row in range(height)
       if data[offset + (height - 1 - row) * width * 4:][:3] == bytes((0, 0, 255))]
assert red and red[0] == 4 * int(sys.argv[2]), f"marker from row {red[:1]}: some element built nothing"
print(f"all {sys.argv[2]} elements built")
PY

# In one batch: sizes that are no whole number from 1 to 8192 are refused
# with a message, and a right-click on an edit, which opens the edit's own
# context menu, ends (the run ends the menu).
echo '<Window><Edit name="e" text="abc" normalbkcolor="#FFFFFFFF"/></Window>' > "$work/edit.xml"
printf 'down 20 10\nup 20 10\nrdown 20 10\nrup 20 10\n' > "$work/rclick.txt"
bad="12abc 1e1 0x10 -5 0 8193 99999999999"
{
    for size in $bad; do printf 'Z:%s\t%s\t40\tZ:%s\n' "$work/row.xml" "$size" "$work/bad.bmp"; done
    printf 'Z:%s\t300\t%s\tZ:%s\n' "$work/row.xml" 1e1 "$work/bad.bmp"
    printf 'Z:%s\t60\t20\tZ:%s\tZ:%s\n' "$work/edit.xml" "$work/edit.bmp" "$work/rclick.txt"
} > "$work/list.txt"
# (wine-run passes the program's errors on with its output)
VL_NEEDS_DISPLAY=1 timeout 30 "$wine_run" "$tool" --batch "Z:$work/list.txt" > "$work/batch.txt" ||
    { cat "$work/batch.txt"; echo "the batch did not end"; exit 1; }
count=$(($(wc -w <<< "$bad") + 1))
for n in $(seq "$count"); do grep -qx "end $n 1" "$work/batch.txt" || { echo "bad size $n taken"; exit 1; }; done
[ "$(grep -c 'width and height must be whole numbers from 1 to 8192' "$work/batch.txt")" = "$count" ] ||
    { cat "$work/batch.txt"; echo "no clear message for each bad size"; exit 1; }
grep -qx "end $((count + 1)) 0" "$work/batch.txt" || { cat "$work/batch.txt"; echo "the right-click run failed"; exit 1; }
echo "bad sizes refused, the edit's context menu ended"
