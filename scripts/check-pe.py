#!/usr/bin/env python3
"""Static checks of the Windows plug-in module "Shimmerly.aex" and other PE files, without wine.

Reads the PE file itself and checks: the machine (i686 or x86_64), that the export table holds
exactly the names given (the plug-in exports `main` and nothing else), that every imported DLL is
a system DLL, that the PIPL resource (16000) decodes property by property to the rows of
pipl.table (vendor code, reversed four-character keys, values, padding), that the dialog templates
172 and 1000 hold the expected controls, and that the version resource carries the expected
version. Prints one line per failure and exits 1 when any check fails.
"""
import argparse
import struct
import sys

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "version.dll",
               "advapi32.dll", "msvcrt.dll", "comctl32.dll", "ole32.dll"}
MACHINES = {"i686": 0x14C, "x86_64": 0x8664}
RT_DIALOG = 5
RT_VERSION = 16

# The dialogs as the plug-in's boxes need them: size, caption, font and per control the id,
# the window class atom (0x80 button, 0x81 edit, 0x82 static), x, y, width, height and text.
DIALOGS = {
    1000: {"size": (231, 97), "caption": "Brindlex", "font": (8, "MS Sans Serif"),
           "controls": [(1, 0x80, 165, 70, 50, 14, "OK"), (2, 0x80, 92, 70, 50, 14, "Cancel"),
                        (10, 0x80, 23, 70, 50, 14, "Button3"),
                        (11, 0x82, 13, 7, 211, 52, "Static")]},
    172: {"size": (180, 66), "pos": (400, 200), "caption": "Dialog",
          "font": (8, "MS Sans Serif"),
          "controls": [(1, 0x80, 32, 41, 50, 14, "OK"), (2, 0x80, 99, 41, 50, 14, "Cancel"),
                       (1004, 0x82, 7, 7, 137, 10, "Static"),
                       (1003, 0x81, 19, 19, 139, 12, "")]},
}
BS_DEFPUSHBUTTON = 0x1
WS_VISIBLE = 0x10000000
WS_BORDER = 0x00800000
ES_AUTOHSCROLL = 0x80
DEFAULT_BUTTON = {1000: 1, 172: 1}


class Failure(Exception):
    pass


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise Failure("not a PE file: no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise Failure("not a PE file: no PE signature")
        self.machine, sections, _, _, _, opt_size, self.characteristics = struct.unpack_from(
            "<HHIIIHH", data, pe + 4)
        opt = pe + 24
        magic = struct.unpack_from("<H", data, opt)[0]
        if magic not in (0x10B, 0x20B):
            raise Failure(f"unknown optional header magic {magic:#x}")
        directories = opt + (96 if magic == 0x10B else 112)
        count = struct.unpack_from("<I", data, directories - 4)[0]
        self.dirs = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(count)]
        self.sections = []
        table = opt + opt_size
        for i in range(sections):
            _, vsize, vaddr, rsize, raddr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((vaddr, max(vsize, rsize), raddr))

    def offset(self, rva):
        for vaddr, size, raddr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raddr
        raise Failure(f"address {rva:#x} lies in no section")

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")

    def exports(self):
        rva, size = self.dirs[0]
        if not rva:
            return []
        base = self.offset(rva)
        functions, names, _, name_table = struct.unpack_from("<IIIII", self.data, base + 20)[:4]
        result = [self.cstring(struct.unpack_from("<I", self.data, self.offset(name_table) + 4 * i)[0])
                  for i in range(names)]
        if functions != names:
            result.append(f"<{functions - names} exports by ordinal only>")
        return result

    def imports(self):
        rva, _ = self.dirs[1]
        result = []
        if not rva:
            return result
        at = self.offset(rva)
        while True:
            fields = struct.unpack_from("<IIIII", self.data, at)
            if not any(fields):
                return result
            result.append(self.cstring(fields[3]))
            at += 20

    def resources(self):
        """{(type, name): bytes} with type and name as int ids or upper-case strings."""
        rva, _ = self.dirs[2] if len(self.dirs) > 2 else (0, 0)
        found = {}
        if not rva:
            return found
        root = self.offset(rva)

        def entries(directory):
            named, ids = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
                if name & 0x80000000:
                    at = root + (name & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", self.data, at)[0]
                    name = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le").upper()
                yield name, target

        for type_id, type_dir in entries(root):
            for name_id, name_dir in entries(root + (type_dir & 0x7FFFFFFF)):
                for _, leaf in entries(root + (name_dir & 0x7FFFFFFF)):
                    data_rva, size = struct.unpack_from("<II", self.data, root + leaf)
                    start = self.offset(data_rva)
                    found[(type_id, name_id)] = self.data[start:start + size]
        return found


def four_cc(raw):
    """A four-character code stored as a little-endian number: its bytes come reversed."""
    return raw[::-1].decode("ascii")


def read_table(path):
    rows = []
    with open(path, encoding="ascii") as table:
        for line in table:
            line = line.split("#", 1)[0].strip()
            if line:
                rows.append(tuple(line.split(None, 2)))
    return rows


def decode_value(kind, raw):
    """The value of one PIPL property as the table writes it; raises Failure on bad padding."""
    if kind == "u32" and len(raw) == 4:
        return str(struct.unpack("<I", raw)[0]), b""
    if kind == "u16x2" and len(raw) == 4:
        return "%d %d" % struct.unpack("<HH", raw), b""
    if kind == "code" and len(raw) == 4:
        return four_cc(raw), b""
    if kind == "pstring" and raw:
        return raw[1:1 + raw[0]].decode("ascii"), raw[1 + raw[0]:]
    if kind == "cstring" and b"\0" in raw:
        end = raw.index(b"\0")
        return raw[:end].decode("ascii"), raw[end:]
    raise Failure(f"PIPL value of kind {kind} has a bad length {len(raw)}")


def normalise(kind, value):
    if kind == "u32":
        return str(int(value, 0))
    if kind == "u16x2":
        return " ".join(str(int(v, 0)) for v in value.split())
    return value


def check_pipl(data, rows, problems):
    version_word, version, count = struct.unpack_from("<HII", data, 0)
    if (version_word, version) != (1, 0):
        problems.append(f"PIPL header {version_word}, {version}; expected 1, 0")
    if count != len(rows):
        problems.append(f"PIPL holds {count} properties; the table has {len(rows)}")
    at = 10
    for index, (key, kind, value) in enumerate(rows):
        if at + 16 > len(data):
            problems.append(f"PIPL ends before property {index + 1} ({key})")
            return
        vendor, got_key = four_cc(data[at:at + 4]), four_cc(data[at + 4:at + 8])
        zero, length = struct.unpack_from("<II", data, at + 8)
        raw = data[at + 16:at + 16 + length]
        at += 16 + length
        where = f"PIPL property {index + 1} ({key})"
        if vendor != "8BIM":
            problems.append(f"{where}: vendor {vendor!r}, expected '8BIM'")
        if got_key != key:
            problems.append(f"{where}: key {got_key!r} in its place")
            continue
        if zero != 0 or length % 4 or len(raw) != length:
            problems.append(f"{where}: id {zero}, length {length} (must be 0 and a multiple of 4)")
            continue
        try:
            got, padding = decode_value(kind, raw)
        except Failure as failure:
            problems.append(f"{where}: {failure}")
            continue
        if got != normalise(kind, value):
            problems.append(f"{where}: value {got!r}, expected {normalise(kind, value)!r}")
        content = len(raw) - len(padding) + (1 if kind == "cstring" else 0)
        if padding.strip(b"\0") or length != content + (-content % 4):
            problems.append(f"{where}: padding {padding!r} is not zeros up to a multiple of four")
    if at != len(data):
        problems.append(f"PIPL has {len(data) - at} bytes after its last property")


def sz_or_ord(data, at):
    if struct.unpack_from("<H", data, at)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0]:
        end += 2
    return data[at:end].decode("utf-16-le"), end + 2


def check_dialog(ident, data, problems):
    want = DIALOGS[ident]
    _, _, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
    where = f"dialog {ident}"
    if (cx, cy) != want["size"]:
        problems.append(f"{where}: size {cx} x {cy}, expected {want['size']}")
    if "pos" in want and (x, y) != want["pos"]:
        problems.append(f"{where}: position {x}, {y}, expected {want['pos']}")
    _, at = sz_or_ord(data, 18)  # menu
    _, at = sz_or_ord(data, at)  # window class
    caption, at = sz_or_ord(data, at)
    if caption != want["caption"]:
        problems.append(f"{where}: caption {caption!r}, expected {want['caption']!r}")
    points = struct.unpack_from("<H", data, at)[0]
    face, at = sz_or_ord(data, at + 2)
    if (points, face) != want["font"]:
        problems.append(f"{where}: font {points} {face!r}, expected {want['font']}")
    controls = []
    for _ in range(count):
        at = (at + 3) & ~3
        c_style, _, c_x, c_y, c_cx, c_cy, c_id = struct.unpack_from("<IIhhhhH", data, at)
        window_class, at = sz_or_ord(data, at + 18)
        text, at = sz_or_ord(data, at)
        extra = struct.unpack_from("<H", data, at)[0]
        at += 2 + extra
        controls.append((c_id, window_class, c_x, c_y, c_cx, c_cy, text))
        if not c_style & WS_VISIBLE:
            problems.append(f"{where}: control {c_id} is not visible")
        if window_class == 0x80 and bool((c_style & 0xF) == BS_DEFPUSHBUTTON) != (
                c_id == DEFAULT_BUTTON[ident]):
            problems.append(f"{where}: button {c_id} default flag is wrong")
        if window_class == 0x81 and (c_style & (WS_BORDER | ES_AUTOHSCROLL)) != (
                WS_BORDER | ES_AUTOHSCROLL):
            problems.append(f"{where}: edit field {c_id} lacks a border or horizontal scrolling")
    if sorted(controls) != sorted(want["controls"]):
        problems.append(f"{where}: controls {sorted(controls)}, expected {sorted(want['controls'])}")


def check_version(data, expected, problems):
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        problems.append("version resource without fixed file information")
        return
    ms, ls = struct.unpack_from("<II", data, at + 8)
    got = f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}"
    if got != expected:
        problems.append(f"file version {got}, expected {expected}")


def check(path, args):
    problems = []
    with open(path, "rb") as module:
        pe = PeFile(module.read())
    if args.machine and pe.machine != MACHINES[args.machine]:
        problems.append(f"machine {pe.machine:#x}, expected {args.machine}")
    if args.exports is not None:
        exports = pe.exports()
        if exports != args.exports:
            problems.append(f"exports {exports}, expected exactly {args.exports}")
    for dll in pe.imports():
        if dll.lower() not in SYSTEM_DLLS:
            problems.append(f"imports {dll}, which is not a system DLL")
    resources = pe.resources() if (args.pipl_table or args.dialogs or args.version) else {}
    if args.pipl_table:
        pipl = resources.get(("PIPL", 16000))
        if pipl is None:
            problems.append("no PIPL resource 16000")
        else:
            check_pipl(pipl, read_table(args.pipl_table), problems)
    if args.dialogs:
        for ident in DIALOGS:
            if (RT_DIALOG, ident) in resources:
                check_dialog(ident, resources[(RT_DIALOG, ident)], problems)
            else:
                problems.append(f"no dialog template {ident}")
    if args.version:
        if (RT_VERSION, 1) in resources:
            check_version(resources[(RT_VERSION, 1)], args.version, problems)
        else:
            problems.append("no version resource")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("files", nargs="+")
    parser.add_argument("--machine", choices=sorted(MACHINES))
    parser.add_argument("--exports", type=lambda text: [n for n in text.split(",") if n],
                        help="the exact exported names, comma-separated")
    parser.add_argument("--pipl-table", help="pipl.table to check the PIPL resource against")
    parser.add_argument("--dialogs", action="store_true", help="check dialog templates 172, 1000")
    parser.add_argument("--version", help="expected file version X.Y.Z")
    args = parser.parse_args()
    failed = False
    for path in args.files:
        try:
            problems = check(path, args)
        except (Failure, struct.error, ValueError, OSError) as error:
            problems = [str(error)]
        for problem in problems:
            print(f"{path}: {problem}")
        failed = failed or bool(problems)
        if not problems:
            print(f"{path}: ok")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
