#!/usr/bin/env python3
"""Checks the built program's resources and PE header byte for byte.

Usage: check_resources.py [--machine=i386|x86-64] PROGRAM.exe

Reads the PE file directly (no Windows or Wine needed): the resource tree must
hold exactly the settings dialog template and the program icon, both Japanese;
the dialog template must match the dialog's layout field for field; the icon
images must be 24-bit DIBs of the listed sizes showing the icon's motif. The
file must also import KERNEL32.dll and msvcrt.dll, carry a zero link
timestamp and be built for x86 or x86-64. Which functions and DLLs it may
import is checked by tools/check_imports.py against tools/allowed-imports.txt.

Prints one line per failed check and a final "N passed, M failed" line; the
exit status is 1 if any check failed.
"""

import struct
import sys

RT_ICON = 3
RT_DIALOG = 5
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24
TYPE_NAMES = {RT_ICON: "RT_ICON", RT_DIALOG: "RT_DIALOG", RT_GROUP_ICON: "RT_GROUP_ICON",
              RT_VERSION: "RT_VERSION", RT_MANIFEST: "RT_MANIFEST"}

LANG_JAPANESE = 0x0411
DIALOG_ID = 101
ICON_GROUP_ID = 128
DS_SETFONT = 0x40

BUTTON, EDIT, STATIC = 0x0080, 0x0081, 0x0082
CLASS_NAMES = {BUTTON: "Button", EDIT: "Edit", STATIC: "Static"}
NO_ID = 0xFFFFFFFF

START_STYLE = 0x50010001  # WS_CHILD|WS_VISIBLE|WS_TABSTOP|BS_DEFPUSHBUTTON
LABEL_STYLE = 0x50020000  # WS_CHILD|WS_VISIBLE|WS_GROUP|SS_LEFT
FIELD_STYLE = 0x50810080  # WS_CHILD|WS_VISIBLE|WS_BORDER|WS_TABSTOP|ES_AUTOHSCROLL
OUTPUT_STYLE = 0x50810880  # FIELD_STYLE|ES_READONLY

EXPLANATION = "\n".join((
    "リフレッシュレートの不整合によるギャップの挙動を目で確認することで、",
    "ディスプレイの実際の更新頻度を確認します。",
    "画面が高速に点滅するため、健康に影響を及ぼす可能性があります。",
    "異常を感じた場合はすぐに使用を中止してください。",
))

DIALOG = {
    "helpId": 0,
    "exStyle": 0,
    "style": 0x80C808C8,  # WS_POPUP|WS_CAPTION|WS_SYSMENU|DS_MODALFRAME|DS_CENTER|DS_SHELLFONT
    "x": 0,
    "y": 0,
    "cx": 244,
    "cy": 231,
    "menu": None,
    "class": None,
    "title": "ルカネミ",
    "pointsize": 8,
    "weight": 400,
    "italic": 0,
    "charset": 1,
    "typeface": "MS Shell Dlg",
}

# (class, id, text, x, y, cx, cy, style) in template order.
CONTROLS = [
    (BUTTON, 1, "描画を開始する", 78, 210, 90, 12, START_STYLE),
    (STATIC, NO_ID, EXPLANATION, 6, 6, 234, 48, LABEL_STYLE),
    (STATIC, NO_ID, "システムから報告されたリフレッシュレート", 6, 60, 186, 12, LABEL_STYLE),
    (EDIT, 1001, "", 198, 60, 42, 12, OUTPUT_STYLE),
    (STATIC, NO_ID, "1秒間に点滅させる回数（推定値を入力）", 6, 78, 186, 12, LABEL_STYLE),
    (EDIT, 1002, "", 198, 78, 42, 12, FIELD_STYLE),
    (STATIC, NO_ID, "境目が下向きに2回通過するまでの時間（上向きは負）", 6, 96, 186, 12,
     LABEL_STYLE),
    (EDIT, 1003, "", 198, 96, 42, 12, FIELD_STYLE),
    (STATIC, NO_ID, "計算された実際のリフレッシュレート", 6, 114, 186, 12, LABEL_STYLE),
    (EDIT, 1004, "", 198, 114, 42, 12, OUTPUT_STYLE),
    (STATIC, NO_ID, "描画オプション（よく分からない場合はそのままにしてください）", 6, 132, 234,
     12, LABEL_STYLE),
    (STATIC, NO_ID, "最大ドロップフレーム数（落ちる時多く、固まる時少なく）", 6, 150, 186, 12,
     LABEL_STYLE),
    (EDIT, 1005, "", 198, 150, 42, 12, FIELD_STYLE),
    (STATIC, NO_ID, "最大連続ドロップ回数（落ちる時多く、固まる時少なく）", 6, 168, 186, 12,
     LABEL_STYLE),
    (EDIT, 1006, "", 198, 168, 42, 12, FIELD_STYLE),
    (STATIC, NO_ID, "水平分割数（画面が乱れる時多く、落ちる時少なく）", 6, 186, 186, 12,
     LABEL_STYLE),
    (EDIT, 1007, "", 198, 186, 42, 12, FIELD_STYLE),
]

ICON_SIZES = (16, 32, 48)

MACHINES = {0x014C: ("i386", 0x10B), 0x8664: ("x86-64", 0x20B)}


class Report:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def check(self, ok, message):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print("FAIL: " + message)
        return ok

    def equal(self, what, expected, got, hex_numbers=False):
        return self.check(expected == got, "%s: expected %s, got %s"
                          % (what, show(expected, hex_numbers), show(got, hex_numbers)))


def ordered(values):
    """Sorted, with integer ids before string names, also inside tuples."""
    def key(v):
        if isinstance(v, tuple):
            return tuple(key(part) for part in v)
        return (isinstance(v, str), v)
    return sorted(values, key=key)


def show(value, hex_numbers):
    if hex_numbers and isinstance(value, int) and value > 9:
        return "0x%X" % value
    return repr(value)


class Truncated(Exception):
    pass


class Reader:
    """Little-endian reads from a byte string with bounds checking."""

    def __init__(self, data, pos=0):
        self.data = data
        self.pos = pos

    def take(self, fmt):
        size = struct.calcsize(fmt)
        if self.pos + size > len(self.data):
            raise Truncated("need %d bytes at offset 0x%X, file or block has 0x%X"
                            % (size, self.pos, len(self.data)))
        values = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += size
        return values if len(values) > 1 else values[0]

    def align(self, n):
        self.pos = (self.pos + n - 1) // n * n

    def wstr(self):
        """A zero-terminated UTF-16 string."""
        units = []
        while True:
            unit = self.take("H")
            if unit == 0:
                break
            units.append(unit)
        return struct.pack("<%dH" % len(units), *units).decode("utf-16-le", "surrogatepass")

    def sz_or_ord(self):
        """None for 0x0000, ("ord", n) for 0xFFFF n, else the string."""
        first = self.take("H")
        if first == 0:
            return None
        if first == 0xFFFF:
            return ("ord", self.take("H"))
        self.pos -= 2
        return self.wstr()


class PeFile:
    def __init__(self, data):
        self.data = data
        r = Reader(data)
        if r.take("H") != 0x5A4D:
            raise Truncated("no MZ signature")
        r.pos = 0x3C
        r.pos = r.take("I")
        if r.take("I") != 0x00004550:
            raise Truncated("no PE signature")
        (self.machine, sections, self.timestamp, _, _, optional_size,
         self.characteristics) = r.take("HHIIIHH")
        optional_start = r.pos
        self.magic = r.take("H")
        if self.magic == 0x10B:
            r.pos = optional_start + 92
        elif self.magic == 0x20B:
            r.pos = optional_start + 108
        else:
            raise Truncated("unknown optional header magic 0x%X" % self.magic)
        count = r.take("I")
        self.directories = [r.take("II") for _ in range(min(count, 16))]
        r.pos = optional_start + optional_size
        self.sections = []
        for _ in range(sections):
            name = r.take("8s").rstrip(b"\0").decode("latin-1")
            vsize, vaddr, raw_size, raw_ptr = r.take("IIII")
            r.take("IIHHI")
            self.sections.append((name, vaddr, max(vsize, raw_size), raw_ptr, raw_size))

    def offset(self, rva):
        for _, vaddr, vsize, raw_ptr, raw_size in self.sections:
            if vaddr <= rva < vaddr + vsize:
                if rva - vaddr >= raw_size:
                    raise Truncated("RVA 0x%X lies in uninitialised data" % rva)
                return raw_ptr + rva - vaddr
        raise Truncated("RVA 0x%X is in no section" % rva)

    def read(self, rva, size):
        start = self.offset(rva)
        if start + size > len(self.data):
            raise Truncated("data at RVA 0x%X runs past the end of the file" % rva)
        return self.data[start:start + size]

    def cstr(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("latin-1")

    def imported_dlls(self):
        rva, size = self.directories[1] if len(self.directories) > 1 else (0, 0)
        names = []
        if rva == 0 or size == 0:
            return names
        r = Reader(self.data, self.offset(rva))
        while True:
            _, _, _, name_rva, first_thunk = r.take("IIIII")
            if name_rva == 0 and first_thunk == 0:
                return names
            names.append(self.cstr(name_rva))

    def resources(self):
        """{(type, name, lang): data} and the time stamps of all directory tables.

        String names are returned as str, integer ids as int.
        """
        rva, size = self.directories[2] if len(self.directories) > 2 else (0, 0)
        if rva == 0 or size == 0:
            return {}, []
        base = self.offset(rva)
        found = {}
        stamps = []

        def name_of(entry_name):
            if entry_name & 0x80000000:
                r = Reader(self.data, base + (entry_name & 0x7FFFFFFF))
                length = r.take("H")
                return r.take("%ds" % (2 * length)).decode("utf-16-le")
            return entry_name

        def walk(table, path):
            r = Reader(self.data, base + table)
            _, stamp, _, _, named, ids = r.take("IIHHHH")
            stamps.append(stamp)
            for _ in range(named + ids):
                entry_name, target = r.take("II")
                key = path + (name_of(entry_name),)
                if target & 0x80000000:
                    if len(key) >= 3:
                        raise Truncated("resource tree deeper than three levels")
                    walk(target & 0x7FFFFFFF, key)
                else:
                    if len(key) != 3:
                        raise Truncated("resource data entry at level %d" % len(key))
                    data_rva, data_size = Reader(self.data, base + target).take("II")
                    found[key] = self.read(data_rva, data_size)

        walk(0, ())
        return found, stamps


def check_header(pe, report, want_machine):
    name, magic = MACHINES.get(pe.machine, ("unknown", None))
    if report.check(magic is not None,
                    "machine: expected 0x14C (i386) or 0x8664 (x86-64), got 0x%X" % pe.machine):
        print("machine: 0x%X (%s, %s)" % (pe.machine, name,
                                          "32-bit" if pe.machine == 0x14C else "64-bit"))
        report.equal("optional header magic for %s" % name, magic, pe.magic, True)
    if want_machine is not None:
        report.equal("machine (required by --machine)", want_machine, name)
    report.equal("PE header time stamp", 0, pe.timestamp, True)
    report.check(pe.characteristics & 0x2000 == 0, "file is a DLL, expected an executable")

    dlls = pe.imported_dlls()
    report.check(bool(dlls), "imports: expected KERNEL32.dll and msvcrt.dll, found no imports")
    lower = [d.lower() for d in dlls]
    for required in ("kernel32.dll", "msvcrt.dll"):
        report.check(required in lower, "imports: %s missing (imports: %s)"
                     % (required, ", ".join(dlls)))


def check_resource_set(resources, stamps, report):
    types = ordered({key[0] for key in resources})
    report.equal("resource types", [RT_ICON, RT_DIALOG, RT_GROUP_ICON], types)
    for forbidden in (RT_MANIFEST, RT_VERSION):
        report.check(forbidden not in types, "resource type %d (%s) present, expected none"
                     % (forbidden, TYPE_NAMES[forbidden]))
    report.check(all(s == 0 for s in stamps),
                 "resource directory time stamps: expected all 0, got %s"
                 % sorted({show(s, True) for s in stamps}))
    for kind, wanted in ((RT_DIALOG, DIALOG_ID), (RT_GROUP_ICON, ICON_GROUP_ID)):
        keys = ordered((k[1], k[2]) for k in resources if k[0] == kind)
        report.equal("%s resources (name, language)" % TYPE_NAMES[kind],
                     [(wanted, LANG_JAPANESE)], keys)


HEX_FIELDS = ("helpId", "exStyle", "style")


def class_name(value):
    """A control's class as stored: an atom of a predefined class or a string."""
    if isinstance(value, tuple):
        return "atom 0x%04X (%s)" % (value[1], CLASS_NAMES.get(value[1], "unknown"))
    return "none" if value is None else "string %r" % value


def parse_dialog(data):
    r = Reader(data)
    d = {}
    d["dlgVer"], d["signature"] = r.take("HH")
    if (d["dlgVer"], d["signature"]) != (1, 0xFFFF):
        return d, []
    d["helpId"], d["exStyle"], d["style"], d["count"] = r.take("IIIH")
    d["x"], d["y"], d["cx"], d["cy"] = r.take("hhhh")
    d["menu"] = r.sz_or_ord()
    d["class"] = r.sz_or_ord()
    d["title"] = r.wstr()
    if d["style"] & DS_SETFONT:
        d["pointsize"], d["weight"], d["italic"], d["charset"] = r.take("HHBB")
        d["typeface"] = r.wstr()
    items = []
    for _ in range(d["count"]):
        r.align(4)
        item = {}
        item["helpId"], item["exStyle"], item["style"] = r.take("III")
        item["x"], item["y"], item["cx"], item["cy"] = r.take("hhhh")
        item["id"] = r.take("I")
        item["class"] = r.sz_or_ord()
        item["title"] = r.sz_or_ord()
        item["extra"] = r.take("H")
        r.pos += item["extra"]
        items.append(item)
    d["end"] = r.pos
    return d, items


def check_dialog(data, report):
    where = "dialog %d" % DIALOG_ID
    try:
        d, items = parse_dialog(data)
    except Truncated as e:
        report.check(False, "%s: template truncated: %s" % (where, e))
        return
    if not report.check((d["dlgVer"], d["signature"]) == (1, 0xFFFF),
                        "%s: expected an extended template (dlgVer 1, signature 0xFFFF), got "
                        "dlgVer %d, signature 0x%X" % (where, d["dlgVer"], d["signature"])):
        return
    for field, expected in DIALOG.items():
        if field in d:
            report.equal("%s %s" % (where, field), expected, d[field], field in HEX_FIELDS)
        else:
            report.check(False, "%s %s: expected %s, but the style lacks DS_SETFONT"
                         % (where, field, show(expected, field in HEX_FIELDS)))
    report.equal("%s item count" % where, len(CONTROLS), d["count"])
    padding = data[d["end"]:]
    report.check(len(padding) < 4 and not any(padding),
                 "%s: %d unexpected bytes after the last item" % (where, len(padding)))

    for index, (item, control) in enumerate(zip(items, CONTROLS), 1):
        cls, ident, text, x, y, cx, cy, style = control
        what = "%s item %d (%s %s)" % (where, index, CLASS_NAMES[cls],
                                       "no id" if ident == NO_ID else "id %d" % ident)
        report.equal(what + " class", class_name(("ord", cls)), class_name(item["class"]))
        report.equal(what + " id", ident, item["id"], ident == NO_ID)
        report.equal(what + " style", style, item["style"], True)
        report.equal(what + " exStyle", 0, item["exStyle"], True)
        report.equal(what + " helpId", 0, item["helpId"], True)
        report.equal(what + " x, y, cx, cy", (x, y, cx, cy),
                     (item["x"], item["y"], item["cx"], item["cy"]))
        got_text = "" if item["title"] is None else item["title"]
        report.equal(what + " text", text, got_text)
        report.equal(what + " extra count", 0, item["extra"])
    report.check(all(item["id"] != 2 for item in items),
                 "%s: an item has the id 2 (IDCANCEL), expected none" % where)


def dib_pixel(dib, size, x, y):
    """(R, G, B) at (x, y) of a bottom-up 24-bit DIB, y counted from the top."""
    row_bytes = (size * 3 + 3) // 4 * 4
    at = 40 + (size - 1 - y) * row_bytes + 3 * x
    b, g, r = dib[at:at + 3]
    return (r, g, b)


def is_black(rgb):
    return max(rgb) <= 0x20


def is_white(rgb):
    return min(rgb) >= 0xF0


def is_light_grey(rgb):
    return 0x90 <= min(rgb) and max(rgb) <= 0xE8 and max(rgb) - min(rgb) <= 8


def first_white_row(dib, size, x):
    for y in range(size // 8, size):
        if is_white(dib_pixel(dib, size, x, y)):
            return y
    return None


def check_icon_image(dib, size, report, where):
    row_bytes = (size * 3 + 3) // 4 * 4
    mask_bytes = (size + 31) // 32 * 4 * size
    if not report.check(len(dib) >= 40, "%s: %d bytes, too short for a BITMAPINFOHEADER"
                        % (where, len(dib))):
        return
    header = struct.unpack_from("<IiiHHI", dib, 0)
    report.equal(where + " header (biSize, width, height, planes, bits, compression)",
                 (40, size, 2 * size, 1, 24, 0), header)
    expected_len = 40 + row_bytes * size + mask_bytes
    if not report.equal(where + " length (header, pixels, mask)", expected_len, len(dib)):
        return
    report.check(not any(dib[expected_len - mask_bytes:]),
                 "%s: AND mask has set bits, expected an opaque image" % where)

    c = size // 2
    probes = [
        ("top centre inside the frame", (c, size // 4), is_black, "black"),
        ("bottom centre inside the frame", (c, size - 1 - size // 4), is_white, "white"),
        ("left frame", (size // 16, c), is_light_grey, "light grey"),
        ("right frame", (size - 1 - size // 16, c), is_light_grey, "light grey"),
        ("top frame", (c, size // 16), is_light_grey, "light grey"),
        ("bottom frame", (c, size - 1 - size // 16), is_light_grey, "light grey"),
    ]
    for name, (x, y), test, colour in probes:
        rgb = dib_pixel(dib, size, x, y)
        report.check(test(rgb), "%s: %s pixel (%d, %d): expected %s, got #%02X%02X%02X"
                     % (where, name, x, y, colour, *rgb))
    # The torn boundary: black turns white at different heights on either side.
    left = first_white_row(dib, size, size // 4)
    right = first_white_row(dib, size, size - 1 - size // 4)
    report.check(left is not None and right is not None and left != right,
                 "%s: expected the black/white boundary at different heights left and right, "
                 "got rows %s and %s" % (where, left, right))


def check_icons(resources, report):
    where = "icon group %d" % ICON_GROUP_ID
    data = resources[(RT_GROUP_ICON, ICON_GROUP_ID, LANG_JAPANESE)]
    r = Reader(data)
    try:
        header = r.take("HHH")
        entries = [r.take("BBBBHHIH") for _ in range(header[2])]
    except Truncated as e:
        report.check(False, "%s: truncated: %s" % (where, e))
        return
    report.equal(where + " header (reserved, type)", (0, 1), header[:2])
    report.equal(where + " entry count", len(ICON_SIZES), header[2])
    report.equal(where + " sizes", list(ICON_SIZES), sorted(e[0] for e in entries))
    listed = set()
    for width, height, colours, _, planes, bits, length, ident in entries:
        what = "%s entry %dx%d" % (where, width, height)
        report.equal(what + " (width, height, colours, planes, bits)",
                     (width, width, 0, 1, 24), (width, height, colours, planes, bits))
        listed.add(ident)
        image = resources.get((RT_ICON, ident, LANG_JAPANESE))
        langs = sorted(k[2] for k in resources if k[:2] == (RT_ICON, ident))
        if not report.check(image is not None, "%s: RT_ICON %d in language 0x411 missing "
                            "(languages present: %s)" % (what, ident, langs)):
            continue
        report.equal(what + " languages of RT_ICON %d" % ident, [LANG_JAPANESE], langs)
        report.equal(what + " bytes in resource", length, len(image))
        if width in ICON_SIZES:
            check_icon_image(image, width, report, "RT_ICON %d (%dx%d)" % (ident, width, width))
    present = {k[1] for k in resources if k[0] == RT_ICON}
    report.check(present == listed, "RT_ICON resources %s, expected exactly those listed by "
                 "the group: %s" % (ordered(present), ordered(listed)))


def main(argv):
    want_machine = None
    args = []
    for arg in argv[1:]:
        if arg.startswith("--machine="):
            want_machine = arg.split("=", 1)[1]
            if want_machine not in ("i386", "x86-64"):
                sys.stderr.write("check_resources.py: --machine must be i386 or x86-64\n")
                return 2
        else:
            args.append(arg)
    if len(args) != 1:
        sys.stderr.write(__doc__)
        return 2
    try:
        with open(args[0], "rb") as f:
            data = f.read()
    except OSError as e:
        print("FAIL: cannot read %s: %s" % (args[0], e.strerror))
        print("0 passed, 1 failed")
        return 1

    report = Report()
    try:
        pe = PeFile(data)
        check_header(pe, report, want_machine)
        resources, stamps = pe.resources()
    except (Truncated, ValueError) as e:
        report.check(False, "%s is not a readable PE file: %s" % (args[0], e))
        resources, stamps = None, []
    if resources is not None:
        check_resource_set(resources, stamps, report)
        dialog = resources.get((RT_DIALOG, DIALOG_ID, LANG_JAPANESE))
        if report.check(dialog is not None, "dialog %d in language 0x411 missing" % DIALOG_ID):
            check_dialog(dialog, report)
        group = (RT_GROUP_ICON, ICON_GROUP_ID, LANG_JAPANESE)
        if report.check(group in resources, "icon group %d in language 0x411 missing"
                        % ICON_GROUP_ID):
            check_icons(resources, report)

    print("%d passed, %d failed" % (report.passed, report.failed))
    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
