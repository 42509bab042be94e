"""The packer in tools/: its archives read back with zipfile and unzip, and
installed by the built updater; and what it refuses."""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

UPDATER = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None
REPOSITORY = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PACKER = os.path.join(REPOSITORY, "tools", "update_archive.py")
sys.path.insert(0, os.path.dirname(PACKER))
import update_archive  # noqa: E402

# Odd seconds: an updater that fell back to the 2-second DOS time would be
# a second off. The packer runs at UTC+8, the updater at UTC, so a DOS time
# taken for the UT one is hours off.
FIRST_TIME = 1700000001
PACKER_TZ = "CST-8"
PACKER_UTC_OFFSET = 8 * 3600

RELEASE = {
    "readme.txt": b"Tavix 2.1\n" * 50,
    "bin/lib/core.dll": bytes((i * 7919) % 251 for i in range(200000)),
    "bin/tool.sh": b"#!/bin/sh\necho tool\n",
    "ro.txt": b"read-only\n",
    "empty.dat": b"",
    "\u8d44\u6e90/\u8bf4\u660e.txt": "\u65b0\u7248\u672c\n".encode(),
}
MODES = {"bin/tool.sh": 0o755, "ro.txt": 0o444}
ENTRY_ORDER = ["bin/", "bin/lib/", "bin/lib/core.dll", "bin/tool.sh", "empty.dat", "logs/",
               "readme.txt", "ro.txt", "\u8d44\u6e90/", "\u8d44\u6e90/\u8bf4\u660e.txt"]


def make_release(root):
    """The release tree, with an empty folder, and distinct odd file times."""
    os.makedirs(os.path.join(root, "logs"))
    for index, (name, data) in enumerate(sorted(RELEASE.items())):
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, MODES.get(name, 0o644))
        os.utime(path, (FIRST_TIME, FIRST_TIME + 10 * index))


def run_packer(*args):
    env = dict(os.environ, TZ=PACKER_TZ)
    return subprocess.run([sys.executable, PACKER, *args], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, text=True, env=env, timeout=120)


def timestamp(extra):
    """The modification time of the first "UT" block of an extra field."""
    pos = 0
    while pos + 4 <= len(extra):
        tag, size = struct.unpack_from("<HH", extra, pos)
        if tag == 0x5455 and size >= 5 and extra[pos + 4] & 1:
            return struct.unpack_from("<i", extra, pos + 5)[0]
        pos += 4 + size
    return None


def unicode_path(extra):
    """The UTF-8 name of the first Unicode Path block of an extra field."""
    pos = 0
    while pos + 4 <= len(extra):
        tag, size = struct.unpack_from("<HH", extra, pos)
        if tag == 0x7075 and size >= 5:
            return extra[pos + 9:pos + 4 + size]
        pos += 4 + size
    return None


def local_extra(archive, info):
    with open(archive, "rb") as f:
        f.seek(info.header_offset)
        header = f.read(30)
        name_size, extra_size = struct.unpack_from("<HH", header, 26)
        f.seek(name_size, os.SEEK_CUR)
        return f.read(extra_size)


def stored_name(info):
    """The name's bytes as stored (zipfile decodes unflagged names as cp437)."""
    return info.orig_filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")


def tree(root):
    found = set()
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        found |= {os.path.normpath(os.path.join(rel, d)) + "/" for d in dirs}
        found |= {os.path.normpath(os.path.join(rel, f)) for f in files}
    return found


class PackTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory(prefix="packer-")
        self.source = os.path.join(self.scratch.name, "release")
        make_release(self.source)

    def tearDown(self):
        self.scratch.cleanup()

    def pack(self, name, *options):
        archive = os.path.join(self.scratch.name, name)
        result = run_packer("pack", "--allow", "read-only", *options, self.source, archive)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")
        self.assertIn("10 entries", result.stdout)
        return archive

    def check_entry(self, archive, info, name, encoding):
        path = os.path.join(self.source, name)
        st = os.lstat(path)
        is_folder = name.endswith("/")
        self.assertEqual(stored_name(info), name.encode(encoding))
        self.assertEqual(bool(info.flag_bits & 0x800), encoding == "utf-8" and not name.isascii())
        self.assertEqual(info.flag_bits & 0x09, 0, "no encryption, no data descriptor")
        self.assertEqual(info.create_system, 3)
        self.assertEqual(info.external_attr >> 16, st.st_mode)
        dos = 0x10 if is_folder else (0x01 if name == "ro.txt" else 0)
        self.assertEqual(info.external_attr & 0xFF, dos)
        stored = is_folder or not RELEASE[name]
        self.assertEqual(info.compress_type, zipfile.ZIP_STORED if stored else zipfile.ZIP_DEFLATED)
        local = time.gmtime(int(st.st_mtime) + PACKER_UTC_OFFSET)
        self.assertEqual(info.date_time, local[:5] + (local[5] // 2 * 2,))
        self.assertEqual(timestamp(local_extra(archive, info)), int(st.st_mtime))
        self.assertEqual(timestamp(info.extra), int(st.st_mtime))

    def test_both_name_modes_keep_tree_attributes_times_and_content(self):
        for names, encoding in (("utf8", "utf-8"), ("cp936", "gbk")):
            with self.subTest(names):
                archive = self.pack(names + ".zip", "--names", names)
                with zipfile.ZipFile(archive) as z:
                    infos = z.infolist()
                    self.assertEqual([stored_name(i) for i in infos],
                                     [n.encode(encoding) for n in ENTRY_ORDER])
                    for info, name in zip(infos, ENTRY_ORDER):
                        self.check_entry(archive, info, name, encoding)
                        # Unflagged non-ASCII bytes would be read in each
                        # user's own code page: the block says what they are.
                        legacy = not info.flag_bits & 0x800 and not name.isascii()
                        self.assertEqual(unicode_path(info.extra),
                                         name.encode() if legacy else None, name)
                        if not name.endswith("/"):
                            self.assertEqual(z.read(info), RELEASE[name], name)
                        else:
                            self.assertEqual(info.file_size, 0)
                test = subprocess.run(["unzip", "-tqq", archive], stdout=subprocess.PIPE,
                                      stderr=subprocess.STDOUT)
                self.assertEqual(test.returncode, 0, test.stdout)

    def test_same_tree_gives_the_same_archive(self):
        with open(self.pack("first.zip"), "rb") as first, open(self.pack("second.zip"), "rb") as second:
            self.assertEqual(first.read(), second.read())

    def test_attribute_decision(self):
        cases = {
            "plain file": ((0o100644, 0), (3, 0o100644 << 16)),
            "executable": ((0o100755, 0), (3, 0o100755 << 16)),
            "read-only file": ((0o100444, 0), (3, 0o100444 << 16 | 0x01)),
            "folder": ((0o40755, 0), (3, 0o40755 << 16 | 0x10)),
            # Windows reports attributes besides the mode Python makes up.
            "Windows read-only": ((0o100666, 0x01 | 0x20), (3, 0o100444 << 16 | 0x21)),
            "Windows hidden": ((0o100666, 0x02 | 0x20), (0, 0o100666 << 16 | 0x22)),
            "Windows system folder": ((0o40777, 0x04 | 0x10), (0, 0o40777 << 16 | 0x14)),
        }
        for label, (given, wanted) in cases.items():
            with self.subTest(label):
                self.assertEqual(update_archive.entry_attributes(*given), wanted)


class InstallTest(unittest.TestCase):
    def test_updater_installs_the_packed_release_over_an_older_one(self):
        with tempfile.TemporaryDirectory(prefix="packer-install-") as scratch:
            source = os.path.join(scratch, "release")
            make_release(source)
            program = os.path.join(scratch, "Tavix")
            os.makedirs(os.path.join(program, "bin", "lib"))
            shutil.copy2(UPDATER, os.path.join(program, "updater"))
            for name in ("readme.txt", "bin/lib/core.dll"):
                with open(os.path.join(program, name), "wb") as f:
                    f.write(b"Tavix 2.0\n")
                os.utime(os.path.join(program, name), (1500000000, 1500000000))
            archive = os.path.join(program, "update.zip")
            packed = run_packer("pack", "--allow", "read-only", source, archive)
            self.assertEqual(packed.returncode, 0, packed.stderr)

            env = dict(os.environ, TZ="UTC", LANG="C")
            env.pop("DISPLAY", None)
            env.pop("WAYLAND_DISPLAY", None)
            result = subprocess.run([os.path.join(program, "updater"), archive], input=b"n\n",
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env,
                                    cwd=scratch, timeout=60)
            self.assertEqual(result.returncode, 0, result.stdout)
            self.assertFalse(os.path.exists(archive), "a complete update deletes its archive")
            self.assertEqual(tree(program) - {"updater"}, tree(source))
            for name, data in RELEASE.items():
                installed = os.path.join(program, name)
                with open(installed, "rb") as f:
                    self.assertEqual(f.read(), data, name)
                # The UT block carries whole seconds: no 2-second rounding.
                self.assertEqual(int(os.stat(installed).st_mtime),
                                 int(os.stat(os.path.join(source, name)).st_mtime), name)
            self.assertFalse(os.stat(os.path.join(program, "ro.txt")).st_mode & 0o222)
            self.assertTrue(os.stat(os.path.join(program, "readme.txt")).st_mode & 0o200)


class DropListTest(unittest.TestCase):
    """The previous release, as a folder or as the archive the packer made of
    it, against this one: what it drops is listed, what only changed case
    is not, and the list is installed like any other file."""

    def test_a_release_that_drops_a_file_and_renames_a_folder(self):
        with tempfile.TemporaryDirectory(prefix="packer-drops-") as scratch:
            previous = os.path.join(scratch, "previous")
            make_release(previous)
            for name in ("old.txt", "plugins/a.dll", "plugins/b.dll"):
                path = os.path.join(previous, name)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "wb") as f:
                    f.write(b"2.0")
            source = os.path.join(scratch, "release")
            make_release(source)
            os.rename(os.path.join(source, "bin"), os.path.join(source, "binaries"))
            os.rename(os.path.join(source, "readme.txt"), os.path.join(source, "README.TXT"))
            old_archive = os.path.join(scratch, "previous.zip")
            packed = run_packer("pack", "--allow", "read-only", "--names", "cp936", previous,
                                old_archive)
            self.assertEqual(packed.returncode, 0, packed.stderr)
            older = os.path.join(scratch, "older")
            os.makedirs(os.path.join(older, "gone"))
            wanted = ["plugins/b.dll", "plugins/a.dll", "plugins/", "old.txt",
                      "bin/tool.sh", "bin/lib/core.dll", "bin/lib/", "bin/"]
            # A user may skip a version: what an older one dropped is listed too.
            for given, extra in (([previous], []), ([old_archive], []),
                                 ([older, previous], ["gone/"])):
                with self.subTest(given=[os.path.basename(g) for g in given]):
                    archive = os.path.join(scratch, "update.zip")
                    options = [a for g in given for a in ("--previous", g)]
                    packed = run_packer("pack", "--allow", "read-only", *options, source,
                                        archive)
                    self.assertEqual(packed.returncode, 0, packed.stderr)
                    self.assertIn(f"tavix-dropped.txt lists {8 + len(extra)} path(s)",
                                  packed.stdout)
                    wanted_now = wanted[:4] + extra + wanted[4:]
                    with zipfile.ZipFile(archive) as z:
                        listed = z.read("tavix-dropped.txt").decode("utf-8").split("\n")
                    self.assertEqual(listed, wanted_now + [""])

            os.rename(os.path.join(source, "README.TXT"), os.path.join(source, "tavix-dropped.txt"))
            refused = run_packer("pack", "--allow", "read-only", "--previous", previous, source,
                                 os.path.join(scratch, "refused.zip"))
            self.assertEqual(refused.returncode, 1)
            self.assertIn("holds tavix-dropped.txt, the name the list of dropped files is packed "
                          "under; no archive written", refused.stderr)
            self.assertFalse(os.path.exists(os.path.join(scratch, "refused.zip")))


class RefusalTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory(prefix="packer-refusal-")
        self.source = os.path.join(self.scratch.name, "release")
        make_release(self.source)
        # Writable, so that each case below is refused for its own reason.
        os.chmod(os.path.join(self.source, "ro.txt"), 0o644)
        self.archive = os.path.join(self.scratch.name, "update.zip")

    def tearDown(self):
        self.scratch.cleanup()

    def add_file(self, name, size=0):
        path = os.path.join(self.source, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.truncate(size)
        return path

    def assert_refused(self, path, reason, *options):
        result = run_packer("pack", *options, self.source, self.archive)
        self.assertEqual(result.returncode, 1, result.stderr)
        named = [line for line in result.stderr.splitlines()
                 if line.startswith(f"update_archive.py: {path}: ")]
        self.assertTrue(named and reason in named[0], result.stderr)
        self.assertNotIn("Traceback", result.stderr)
        self.assertEqual(os.listdir(self.scratch.name), ["release"], "no archive, no partial one")

    def test_what_the_updater_or_windows_would_refuse_or_mangle(self):
        def symlink():
            path = os.path.join(self.source, "bin", "link.dll")
            os.symlink("lib/core.dll", path)
            return path

        cases = [
            ("emoji under cp936", lambda: self.add_file("icon\U0001f600.png"),
             "code page 936 has no code", ["--names", "cp936"]),
            ("backslash", lambda: self.add_file("bin\\x.dll"), "holds '\\'", []),
            ("colon", lambda: self.add_file("a:b.txt"), "holds ':'", []),
            ("question mark", lambda: self.add_file("why?.txt"), "holds '?'", []),
            ("control character", lambda: self.add_file("tab\there"), "control character 0x09", []),
            ("trailing dot", lambda: self.add_file("logs/old."), "ending in a dot or space", []),
            ("device name", lambda: self.add_file("bin/aux.dll"), "device name", []),
            ("device COM0", lambda: self.add_file("Com0 .log"), "device name", []),
            ("symbolic link", symlink, "symbolic link", []),
            ("4 GiB file", lambda: self.add_file("big.bin", 2**32), "4 GiB", []),
            # The later of the two in the archive's order is the one named.
            ("case twin", lambda: self.add_file("README.TXT"), "same name on Windows as",
             [], os.path.join(self.source, "readme.txt")),
        ]
        for label, make, reason, options, *named in cases:
            with self.subTest(label):
                path = make()
                try:
                    self.assert_refused(named[0] if named else path, reason, *options)
                finally:
                    os.remove(path)

    def test_a_release_the_update_would_not_carry_out_unless_allowed(self):
        def read_only():
            os.chmod(os.path.join(self.source, "ro.txt"), 0o444)
            return os.path.join(self.source, "ro.txt")

        def wrapped():
            inner = os.path.join(self.scratch.name, "Tavix-2.1")
            os.rename(self.source, inner)
            os.mkdir(self.source)
            os.rename(inner, os.path.join(self.source, "Tavix-2.1"))
            return self.source

        def empty():
            shutil.rmtree(self.source)
            os.mkdir(self.source)
            return self.source

        # Each case starts from the last one's release, as the kinds stack up.
        cases = [("read-only", read_only, "is read-only", ["ro.txt"]),
                 ("wrapping-folder", wrapped, "holds only the folder Tavix-2.1/",
                  ["Tavix-2.1/"] + ["Tavix-2.1/" + name for name in ENTRY_ORDER]),
                 ("empty", empty, "is empty", [])]
        allowed = []
        for kind, make, reason, names in cases:
            with self.subTest(kind):
                named = make()
                self.assert_refused(named, reason, *allowed)
                allowed += ["--allow", kind]
                result = run_packer("pack", *allowed, self.source, self.archive)
                self.assertEqual(result.returncode, 0, result.stderr)
                with zipfile.ZipFile(self.archive) as z:
                    packed = z.namelist()
                self.assertTrue(set(names) <= set(packed) if names else not packed, packed)
                os.remove(self.archive)

    def test_path_length_below_the_program_folder(self):
        # A Chinese character is 3 bytes on the users' Windows, however stored:
        # the updater builds its paths in UTF-8 (2 bytes on an older Windows
        # in code page 936, which then fits too).
        chinese = "\u8bf4\u660e" * 5 + ".txt"
        cases = [
            ("cp936 name", "cp936", chinese, 259 - 1 - 34),
            ("utf8 name", "utf8", chinese, 259 - 1 - 34),
            ("folder", "utf8", "d" * 30 + "/", 247 - 1 - 30),
        ]
        for label, names, name, longest in cases:
            with self.subTest(label):
                if name.endswith("/"):
                    path = os.path.join(self.source, name[:-1])
                    os.mkdir(path)
                else:
                    path = self.add_file(name)
                try:
                    result = run_packer("pack", "--names", names, "--install-dir-length",
                                        str(longest), self.source, self.archive)
                    self.assertEqual(result.returncode, 0, result.stderr)
                    os.remove(self.archive)
                    self.assert_refused(path, "too long for the install folder", "--names", names,
                                        "--install-dir-length", str(longest + 1))
                finally:
                    top = os.path.join(self.source, name.split("/")[0])
                    shutil.rmtree(top) if os.path.isdir(top) else os.remove(top)

    def test_any_script_is_packed_with_a_note_for_older_windows(self):
        # Windows 10 from version 1903 on takes every name; an older Chinese
        # Windows only what code page 936 holds.
        paths = [self.add_file(name) for name in ("icon\U0001f600.png", "\ud55c\uad6d\uc5b4.txt")]
        result = run_packer("pack", self.source, self.archive)
        self.assertEqual(result.returncode, 0, result.stderr)
        for path in paths:
            self.assertIn(f"warning: {path}: code page 936 has no code for", result.stderr)
        with zipfile.ZipFile(self.archive) as z:
            names = {i.filename: i.flag_bits & 0x800 for i in z.infolist()}
        self.assertEqual(names["icon\U0001f600.png"], 0x800)
        self.assertEqual(names["\ud55c\uad6d\uc5b4.txt"], 0x800)

    def test_parent_steps_are_refused_by_the_name_check(self):
        # A folder walk never yields them; names from anywhere else might.
        for name in ("../evil.txt", "bin/../../evil.txt", "bin/..", "../"):
            with self.subTest(name):
                with self.assertRaisesRegex(update_archive.Refusal, "'..' component"):
                    update_archive.check_entry_name(name)


class UsageTest(unittest.TestCase):
    def test_usage_errors_exit_2_with_usage_and_no_traceback(self):
        for args in ([], ["pack"], ["pack", "--bogus", "a", "b"], ["frobnicate"],
                     ["pack", "--install-dir-length", "many", "a", "b"]):
            with self.subTest(args):
                result = run_packer(*args)
                self.assertEqual(result.returncode, 2)
                self.assertTrue(result.stderr.startswith("usage: update_archive.py"), result.stderr)
                self.assertNotIn("Traceback", result.stderr)


if __name__ == "__main__":
    if not UPDATER or not os.access(UPDATER, os.X_OK):
        sys.exit("usage: update_archive_test.py PATH_TO_UPDATER [unittest args]")
    unittest.main(verbosity=1)
