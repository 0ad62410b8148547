#!/usr/bin/env python3
"""Tests of scripts/check-pe.py on a built plug-in module: the intact module passes, and copies
with a damaged PIPL (key bytes not reversed, wrong vendor, wrong entry name, properties out of
table order), an extra export or a non-system import are each reported.
Usage: check_pe_test.py MODULE PIPL_TABLE MACHINE
"""
import os
import runpy
import types
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
# The checker is a script with a hyphen in its name: load its functions as a namespace.
check_pe = types.SimpleNamespace(**runpy.run_path(
    os.path.join(HERE, "..", "..", "scripts", "check-pe.py"), run_name="check_pe"))

MODULE, TABLE, MACHINE = sys.argv[1:4]


class Args:
    def __init__(self, table=TABLE, exports=("main",)):
        self.machine = MACHINE
        self.exports = list(exports)
        self.pipl_table = table
        self.dialogs = True
        self.version = None


class CheckPeTest(unittest.TestCase):
    def setUp(self):
        with open(MODULE, "rb") as module:
            self.data = module.read()
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.folder.cleanup()

    def problems_after(self, old, new, args=None):
        self.assertEqual(len(old), len(new))
        self.assertEqual(self.data.count(old), 1, f"{old!r} must occur once in the module")
        path = os.path.join(self.folder.name, "damaged.aex")
        with open(path, "wb") as out:
            out.write(self.data.replace(old, new))
        return check_pe.check(path, args or Args())

    def test_intact_module_passes(self):
        self.assertEqual(check_pe.check(MODULE, Args()), [])

    def test_damaged_pipl_is_reported(self):
        cases = [
            ("key stored unreversed", b"MIB8dnik", b"MIB8kind"),
            ("other vendor", b"MIB8eman", b"XIB8eman"),
            ("other entry name", b"68xw\0\0\0\0\x08\0\0\0main", b"68xw\0\0\0\0\x08\0\0\0mian"),
            ("category not a counted text", b"\x08Brindlex", b"\x09Brindlex"),
        ]
        for name, old, new in cases:
            with self.subTest(name):
                self.assertTrue(any("PIPL" in p for p in self.problems_after(old, new)))

    def test_table_order_is_enforced(self):
        with open(TABLE) as table:
            rows = table.read().splitlines()
        name_row = next(i for i, row in enumerate(rows) if row.startswith("name "))
        rows[name_row], rows[name_row + 1] = rows[name_row + 1], rows[name_row]
        table = os.path.join(self.folder.name, "swapped.table")
        with open(table, "w") as out:
            out.write("\n".join(rows) + "\n")
        problems = check_pe.check(MODULE, Args(table=table))
        self.assertTrue(any("property 3" in p for p in problems), problems)

    def test_exports_must_match_exactly(self):
        self.assertTrue(check_pe.check(MODULE, Args(exports=("main", "other"))))
        self.assertTrue(check_pe.check(MODULE, Args(exports=())))

    def test_toolchain_import_is_reported(self):
        problems = self.problems_after(b"msvcrt.dll", b"libgcc.dll")
        self.assertTrue(any("libgcc.dll" in p for p in problems), problems)

    def test_dialog_changes_are_reported(self):
        text = "Button3".encode("utf-16-le")
        problems = self.problems_after(text, "Button4".encode("utf-16-le"))
        self.assertTrue(any("dialog 1000" in p for p in problems), problems)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
