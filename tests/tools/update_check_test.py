"""The integrators' checker against the built updater: for each archive the
checker's verdicts, entry by entry, must be what the updater then does to a
copy of the same install folder, and its exit code must agree."""

import os
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

UPDATER = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 2 else None
CHECKER = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None
REPOSITORY = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DATA = os.path.join(REPOSITORY, "tests", "data")
PACKER = os.path.join(REPOSITORY, "tools", "update_archive.py")

# How the checker ends the line that stops a release, after the kinds.
STOP = ": the update would not do what it is meant to (--allow KIND accepts a kind on purpose)"

# A name whose bytes differ in UTF-8 and in code page 936.
CHINESE_NAME = "\u5347\u7ea7\u8bf4\u660e.txt"

# The checker's verdict words, as wide as its column.
KINDS = {b"new", b"replaced", b"unchanged", b"folder", b"refused"}

# An older install: a file the archives in tests/data hold with the same
# bytes, one they change, one that is read-only, one they leave alone.
OLD_INSTALL = {
    "hello.txt": b"Hello, world!\n",
    "data.bin": b"old data",
    "docs/lorem.txt": (b"old lorem", 0o444),
    "keep.txt": b"keep",
    "logs/": None,
}


def entry_info(name, mode=0o644, method=zipfile.ZIP_DEFLATED):
    """An entry as a Unix zip tool writes it (zipfile's bare ZipInfo would
    give mode 0, which the updater takes as read-only)."""
    info = zipfile.ZipInfo(name, (2024, 5, 6, 7, 8, 10))
    kind = stat.S_IFDIR if name.endswith("/") else stat.S_IFREG
    info.external_attr = (kind | mode) << 16
    info.create_system = 3
    info.compress_type = method
    return info


def make_zip(path, entries):
    with zipfile.ZipFile(path, "w") as z:
        for name, data, *options in entries:
            z.writestr(entry_info(name, *options), data)


def make_tree(root, files):
    os.makedirs(root)
    for name, content in files.items():
        path = os.path.join(root, name)
        if name.endswith("/"):
            os.makedirs(path, exist_ok=True)
            continue
        data, mode = content if isinstance(content, tuple) else (content, 0o644)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        os.chmod(path, mode)


def snapshot(root):
    """Every path below root (bytes, '/'-terminated for folders) with its
    content and write bit; None for folders."""
    found = {}
    top = os.fsencode(root)
    for folder, dirs, files in os.walk(top):
        rel = os.path.relpath(folder, top)
        for d in dirs:
            found[os.path.normpath(os.path.join(rel, d)) + b"/"] = None
        for f in files:
            path = os.path.join(folder, f)
            with open(path, "rb") as handle:
                found[os.path.normpath(os.path.join(rel, f))] = (
                    handle.read(), bool(os.stat(path).st_mode & stat.S_IWUSR))
    return found


def stored_name(info):
    return info.orig_filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")


def shown_mode(info):
    """The mode the checker shows for a file entry: the permission bits of
    one made on Unix whose mode is a file's or has no type."""
    mode = info.external_attr >> 16
    if info.create_system != 3 or mode & 0o170000 not in (0, 0o100000):
        return None
    return mode & 0o777


def parse_report(stdout, modes=None):
    """The checker's entry lines as (kind, name, reason) and its warnings,
    the line that stops a release last among them. A file's mode, shown at
    the end of its line, goes into `modes` by name."""
    entries, warnings = [], []
    for line in stdout.split(b"\n"):
        if not line:
            continue
        if line.startswith(b"warning: ") or line.startswith(b"stop: "):
            warnings.append(line.decode("utf-8", "replace"))
            continue
        if line.startswith(b"cannot open ") or line.startswith(b"undone: "):
            continue
        kind, name = line[:9].rstrip(), line[10:]
        reason = b""
        if kind == b"refused":
            name, reason = name.split(b": ", 1)
        assert kind in KINDS, line
        match = re.fullmatch(rb"(.*) \(mode ([0-7]{3})\)", name)
        if match and kind != b"refused":
            name = match.group(1)
            if modes is not None:
                modes[name] = int(match.group(2), 8)
        entries.append((kind.decode(), name, reason.decode()))
    return entries, warnings


def make_writable(root):
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            if not os.path.islink(path):
                os.chmod(path, os.stat(path).st_mode | stat.S_IWUSR | stat.S_IXUSR)


class Case:
    """A scratch root holding the checker's install folder, a copy of it for
    the updater (of the same path length), the temporary folder the checker
    is given, and the archive."""

    def __init__(self, files=None, folder_length=None):
        self.root = os.path.realpath(tempfile.mkdtemp(prefix="update-check-test-"))
        pad = max(0, folder_length - len(self.root) - 3) if folder_length else 0
        self.install = os.path.join(self.root, "a-" + "x" * pad)
        self.copy = os.path.join(self.root, "b-" + "x" * pad)
        self.temp = os.path.join(self.root, "tmp")
        os.mkdir(self.temp)
        make_tree(self.install, files if files is not None else {})

    def cleanup(self):
        make_writable(self.root)
        shutil.rmtree(self.root)

    def environment(self):
        env = dict(os.environ, TZ="UTC", LANG="C", LC_ALL="C", TMPDIR=self.temp)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def check(self, archive, install=True, allow=()):
        args = [CHECKER, *[a for kind in allow for a in ("--allow", kind)], archive]
        args += [self.install] if install else []
        return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              env=self.environment(), cwd=self.root, timeout=120)

    def update(self, archive):
        """The real updater over a copy of the install folder, answered No;
        `archive` is copied beside it, or into it when it lies in the install
        folder. Gives the exit code and the path it was given."""
        shutil.copytree(self.install, self.copy)
        updater = os.path.join(self.copy, "updater")
        shutil.copy2(UPDATER, updater)
        if os.path.dirname(archive) == self.install:
            given = os.path.join(self.copy, os.path.basename(archive))
        else:
            given = os.path.join(self.root, "given-" + os.path.basename(archive))
            shutil.copy(archive, given)
        result = subprocess.run([updater, given], input=b"n\n", stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, env=self.environment(), cwd=self.root,
                                timeout=120)
        os.remove(updater)
        return result.returncode, given


class AgreementTest(unittest.TestCase):
    def agree(self, case, archive, allow=()):
        """Runs the checker, then the updater, and proves they agree; gives
        the checker's entries and warnings."""
        before = snapshot(case.install)
        with open(archive, "rb") as f:
            archive_bytes = f.read()
        checked = case.check(archive, allow=allow)
        self.assertIn(checked.returncode, (0, 1), checked.stderr)
        self.assertEqual(checked.stderr, b"")
        self.assertEqual(snapshot(case.install), before, "the install folder was changed")
        with open(archive, "rb") as f:
            self.assertEqual(f.read(), archive_bytes, "the archive was changed")
        self.assertEqual(os.listdir(case.temp), [], "a scratch was left behind")
        modes = {}
        entries, warnings = parse_report(checked.stdout, modes)

        updated, given = case.update(archive)
        # A release the updater takes may still be stopped, by a warning.
        stopped = bool(warnings) and warnings[-1].startswith("stop: ")
        self.assertEqual(checked.returncode, int(updated != 0 or stopped),
                         f"checker {checked.returncode}, updater {updated}: {checked.stdout}")
        self.assertIn(updated, (0, 2))
        self.assertEqual(os.path.exists(given), updated != 0)
        after = snapshot(case.copy)
        # The whole update or none of it.
        self.assertEqual(b"\nundone: " in b"\n" + checked.stdout, updated != 0 and bool(entries))
        if updated != 0:
            self.assertEqual(after, before, "a failed update left changes")
            return entries, warnings

        try:
            with zipfile.ZipFile(archive) as z:
                infos = {stored_name(i): i for i in z.infolist()}
                self.assertEqual(len(entries), len(z.infolist()), checked.stdout)
                self.compare_entries(z, infos, entries, before, after)
                self.assertEqual(modes, {
                    name: shown_mode(infos[name]) for kind, name, _ in entries
                    if kind in ("new", "replaced", "unchanged")
                    and shown_mode(infos[name]) is not None})
        except zipfile.BadZipFile:
            self.assertEqual(entries, [])
            self.assertTrue(checked.stdout.startswith(b"cannot open "), checked.stdout)
        return entries, warnings

    def compare_entries(self, z, infos, entries, before, after):
        for kind, name, reason in entries:
            with self.subTest(name=name, kind=kind):
                if kind == "folder":
                    self.assertIn(name, after)
                    self.assertIsNone(after[name])
                elif kind == "refused":
                    self.assertTrue(reason)
                    if not name.endswith(b"/"):
                        self.assertEqual(after.get(name), before.get(name), "refused yet changed")
                else:
                    self.assertIn(name, infos, "no entry of that name")
                    self.assertEqual(after[name][0], z.read(infos[name]))
                    old = before.get(name)
                    expected = "new" if old is None else (
                        "unchanged" if old[0] == after[name][0] else "replaced")
                    self.assertEqual(kind, expected)
        # Nothing changed that the checker did not name.
        named = {name for kind, name, _ in entries if kind in ("new", "replaced")}
        changed = {path for path, content in after.items()
                   if content is not None and before.get(path) != content}
        self.assertLessEqual(changed, named)

    def run_case(self, make, files=OLD_INSTALL, allow=(), **options):
        case = Case(files, **options)
        try:
            archive = make(case)
            return self.agree(case, archive, allow)
        finally:
            case.cleanup()

    def test_archives_of_real_tools(self):
        for name in sorted(os.listdir(DATA)):
            if not name.endswith(".zip"):
                continue
            with self.subTest(name):
                entries, warnings = self.run_case(lambda case: os.path.join(DATA, name))
                if name == "infozip.zip":
                    self.assertEqual(entries, [
                        ("unchanged", b"hello.txt", ""),
                        ("new", b"empty.txt", ""),
                        ("replaced", b"data.bin", ""),
                        ("folder", b"docs/", ""),
                        ("refused", b"docs/lorem.txt",
                         "the installed file is read-only, which the updater never replaces"),
                        ("folder", b"emptydir/", "")])
                    self.assertEqual(warnings, [])
                if name == "infozip_encrypted.zip":
                    # Its docs/lorem.txt meets the read-only file first.
                    self.assertEqual(entries[0], ("refused", b"hello.txt",
                                                  "encrypted: the updater has no password"))
                    self.assertIn("warning: hello.txt is encrypted: the updater has no password",
                                  warnings)

    def test_an_archive_of_the_packer_goes_in_without_warnings(self):
        def make(case):
            release = os.path.join(case.root, "release")
            make_tree(release, {"hello.txt": b"Hello, world!\n", "data.bin": b"new data",
                                "bin/core.dll": os.urandom(5000), "logs/": None,
                                "bin/tavix": (b"#!/bin/sh\n", 0o755), CHINESE_NAME: b"new"})
            archive = os.path.join(case.root, "tavix-2.1.zip")
            subprocess.run([sys.executable, PACKER, "pack", *names, release, archive],
                           check=True, stdout=subprocess.DEVNULL)
            return archive
        names = []
        entries, warnings = self.run_case(make, files={
            k: v for k, v in OLD_INSTALL.items() if k != "docs/lorem.txt"})
        self.assertEqual({(kind, name) for kind, name, _ in entries}, {
            ("folder", b"bin/"), ("new", b"bin/core.dll"), ("new", b"bin/tavix"),
            ("replaced", b"data.bin"), ("new", CHINESE_NAME.encode()),
            ("unchanged", b"hello.txt"), ("folder", b"logs/")})
        self.assertEqual(warnings, [])
        # Its code page 936 names carry their UTF-8 form for every Windows.
        names = ["--names", "cp936"]
        case = Case()
        try:
            checked = case.check(make(case))
            entries, warnings = parse_report(checked.stdout)
            self.assertEqual((checked.returncode, warnings), (0, []), checked.stdout)
            self.assertIn(("new", CHINESE_NAME.encode(), ""), entries)
        finally:
            case.cleanup()

    def test_names_each_windows_reads_in_its_own_code_page(self):
        """Non-ASCII names stored with no sign of their encoding, as zip
        writes them where en_US.UTF-8 is missing and a Chinese tool always
        does, land as their maker meant only on some users' Windows."""
        gbk = CHINESE_NAME.encode("gbk")

        def make(case):
            # Linux names are bytes: the second file is named as a Chinese
            # Windows tool stores it.
            source = os.path.join(case.root, "source")
            os.mkdir(source)
            for name in (CHINESE_NAME.encode(), gbk):
                with open(os.path.join(os.fsencode(source), name), "wb") as f:
                    f.write(b"x")
            withheld = os.path.join(case.root, "no-locales")
            os.mkdir(withheld)
            archive = os.path.join(case.root, "unflagged.zip")
            env = dict(os.environ, LC_ALL="en_US.UTF-8", LOCPATH=withheld)
            subprocess.run([b"zip", b"-q", b"-X", os.fsencode(archive), CHINESE_NAME.encode(),
                            gbk], cwd=source, env=env, check=True)
            return archive

        def reading_1252(stored):
            # Windows gives its five unassigned bytes the C1 control of their value.
            return "".join(chr(b) if b in (0x81, 0x8D, 0x8F, 0x90, 0x9D)
                           else bytes([b]).decode("cp1252") for b in stored)

        said = ("is stored without the UTF-8 flag or a Unicode Path block, so each Windows "
                "reads it in its own code page: on a Chinese Windows (936) it becomes ")
        entries, warnings = self.run_case(make, files={})
        utf8 = CHINESE_NAME.encode()
        self.assertEqual([(kind, name) for kind, name, _ in entries], [("new", utf8), ("new", gbk)])
        self.assertEqual(warnings, [
            f"warning: {CHINESE_NAME} {said}{utf8.decode('gbk')}; on a Western one (1252) it "
            f"becomes {reading_1252(utf8)}",
            (b"warning: " + gbk).decode("utf-8", "replace") +
            f" {said}{CHINESE_NAME}; on a Western one (1252) it becomes {reading_1252(gbk)}",
            "stop: code-page-names" + STOP])

    def test_a_wrapping_folder_is_warned_about(self):
        def make(case):
            archive = os.path.join(case.root, "wrapped.zip")
            make_zip(archive, [("Tavix-2.1/", b""), ("Tavix-2.1/hello.txt", b"new hello"),
                               ("Tavix-2.1/bin/core.dll", b"core")])
            return archive
        entries, warnings = self.run_case(make)
        self.assertEqual(warnings, [
            "warning: every entry is inside Tavix-2.1/, which the install folder does not have: "
            "the update would go into Tavix-2.1/ below the program folder and update nothing",
            "stop: wrapping-folder" + STOP])
        # Into a folder that has it, the same archive updates that folder.
        case = Case({"Tavix-2.1/": None})
        try:
            archive = make(case)
            checked = case.check(archive)
            self.assertEqual((checked.returncode, parse_report(checked.stdout)[1]), (0, []))
        finally:
            case.cleanup()

    def test_read_only_entries(self):
        def make(case):
            archive = os.path.join(case.root, "read-only.zip")
            make_zip(archive, [("docs/lorem.txt", b"new lorem", 0o444),
                               ("licence.txt", b"licence", 0o444), ("keep.txt", b"keep")])
            return archive
        entries, warnings = self.run_case(make)
        self.assertEqual(entries, [
            ("refused", b"docs/lorem.txt",
             "the installed file is read-only, which the updater never replaces"),
            ("new", b"licence.txt", ""), ("unchanged", b"keep.txt", "")])
        self.assertEqual(warnings, [
            f"warning: {name} is read-only: once installed, every later update that carries "
            "another version of it fails" for name in ("docs/lorem.txt", "licence.txt")] +
            ["stop: read-only" + STOP])

    def test_names_windows_reads_otherwise(self):
        """Names Windows would change are refused, as the updater refuses them
        on Linux too, with nothing made for them; so is a second spelling of
        a file an earlier entry wrote. Case alone is told apart here, by a
        warning: a Linux file system keeps both."""
        def make(case):
            archive = os.path.join(case.root, "names.zip")
            make_zip(archive, [("bin/Aux.dll", b"a"), ("nul", b"n"), ("logs./x.txt", b"x"),
                               ("space ", b"s"), ("README.txt", b"1"), ("readme.TXT", b"2"),
                               ("lpt1.log.txt", b"l"), ("com10.txt", b"fine"), ("a.b.c", b"fine"),
                               ("a.txt:zone", b"z"), ("./a.b.c", b"again"),
                               ("\u00c4pfel.txt", b"A"), ("\u00e4PFEL.TXT", b"a")])
            return archive
        entries, warnings = self.run_case(make)
        device = "a name in it is a Windows device (CON, NUL, COM1, ...)"
        trimmed = "a name in it ends in a dot or a space, which Windows drops"
        self.assertEqual(entries, [
            ("refused", b"bin/Aux.dll", device), ("refused", b"nul", device),
            ("refused", b"logs./x.txt", trimmed), ("refused", b"space ", trimmed),
            ("new", b"README.txt", ""), ("new", b"readme.TXT", ""),
            ("refused", b"lpt1.log.txt", device), ("new", b"com10.txt", ""),
            ("new", b"a.b.c", ""),
            ("refused", b"a.txt:zone", "it holds ':', which Windows reads as a stream"),
            ("refused", b"./a.b.c", "an earlier entry of the archive already wrote this file"),
            ("new", "\u00c4pfel.txt".encode(), ""), ("new", "\u00e4PFEL.TXT".encode(), "")])
        self.assertEqual(warnings.pop(), "stop: windows-names, collisions" + STOP)
        self.assertEqual(sorted(warnings), sorted([
            'warning: bin/Aux.dll: "Aux.dll" is the Windows device AUX, not a file',
            'warning: nul: "nul" is the Windows device NUL, not a file',
            'warning: logs./x.txt: "logs." ends in a dot, which Windows drops',
            'warning: space : "space " ends in a space, which Windows drops',
            'warning: lpt1.log.txt: "lpt1.log.txt" is the Windows device LPT1, not a file',
            'warning: a.txt:zone: "a.txt:zone" holds \':\', which Windows reads as a stream of '
            'another file',
            "warning: README.txt and readme.TXT differ only in case: Windows keeps one file",
            "warning: \u00c4pfel.txt and \u00e4PFEL.TXT differ only in case: Windows keeps one "
            "file"]))

    def test_each_kind_that_stops_a_release_is_accepted_by_its_allow_alone(self):
        kinds = {
            "wrapping-folder": [("Tavix-2.1/hello.txt", b"hello")],
            "read-only": [("licence.txt", b"licence", 0o444)],
            "empty": [],
            "windows-names": [("con.txt", b"c")],
            "collisions": [("Data.bin", b"d"), ("DATA.BIN", b"d")],
        }
        for kind, files in kinds.items():
            with self.subTest(kind):
                def make(case):
                    archive = os.path.join(case.root, kind + ".zip")
                    make_zip(archive, files)
                    return archive
                # The updater takes each of them with exit 0.
                warnings = self.run_case(make, files={})[1]
                self.assertEqual(warnings[-1], f"stop: {kind}" + STOP)
                others = [k for k in kinds if k != kind]
                self.assertEqual(self.run_case(make, files={}, allow=others)[1][-1],
                                 f"stop: {kind}" + STOP)
                allowed = self.run_case(make, files={}, allow=[kind])[1]
                self.assertEqual([w for w in allowed if w.startswith("stop: ")], [])
                self.assertEqual(allowed, warnings[:-1])

    def test_entries_the_updater_cannot_read(self):
        def make(case):
            source = os.path.join(case.root, "source")
            make_tree(source, {"secret.txt": b"secret " * 20})
            archive = os.path.join(case.root, "unreadable.zip")
            subprocess.run(["zip", "-q", "-P", "pw", archive, "secret.txt"], cwd=source,
                           check=True)
            with zipfile.ZipFile(archive, "a") as z:
                z.writestr(entry_info("packed.bz2", method=zipfile.ZIP_BZIP2), b"b" * 500)
                z.writestr(entry_info("plain.txt"), b"plain")
            return archive
        entries, warnings = self.run_case(make)
        self.assertEqual(entries, [
            ("refused", b"secret.txt", "encrypted: the updater has no password"),
            ("refused", b"packed.bz2", "compression method 12, which the updater cannot read"),
            ("new", b"plain.txt", "")])
        self.assertEqual(warnings, [
            "warning: secret.txt is encrypted: the updater has no password",
            "warning: packed.bz2 uses compression method 12, which the updater cannot read"])

    def test_damaged_and_blocked_entries(self):
        def make(case):
            archive = os.path.join(case.root, "damaged.zip")
            make_zip(archive, [("plugins/x.dll", b"x"), ("cache/index.bin", b"i"),
                               ("../evil.txt", b"evil"), ("damaged.txt", b"damaged " * 50),
                               ("fine.txt", b"fine")])
            with zipfile.ZipFile(archive) as z:
                crc = z.getinfo("damaged.txt").CRC
            with open(archive, "rb") as f:
                data = f.read()
            # Both headers agree on a CRC the data does not have.
            data = data.replace(crc.to_bytes(4, "little"), (crc ^ 1).to_bytes(4, "little"))
            with open(archive, "wb") as f:
                f.write(data)
            return archive
        entries, _ = self.run_case(make, files={"plugins/x.dll/": None, "cache": b"a file"})
        self.assertEqual(entries, [
            ("refused", b"plugins/x.dll", "a folder stands where the file goes"),
            ("refused", b"cache/index.bin", "a file stands where its folder goes"),
            ("refused", b"../evil.txt", "a '..' component would leave the program folder"),
            ("refused", b"damaged.txt", "its data does not match its CRC-32"),
            ("new", b"fine.txt", "")])

    def test_an_entry_of_the_archives_own_name_in_the_install_folder(self):
        def make(case):
            archive = os.path.join(case.install, "update.zip")
            make_zip(archive, [("update.zip", b"not the archive"), ("new.txt", b"new")])
            return archive
        entries, _ = self.run_case(make)
        self.assertEqual(entries, [("refused", b"update.zip", "it names the archive itself"),
                                   ("new", b"new.txt", "")])

    def test_paths_are_measured_below_the_install_folder_not_the_scratch(self):
        # The scratch lies far shorter below TMPDIR: unless it takes the
        # install folder's length, the longer name would go in there.
        length = 220
        fits = "f" * (259 - length - 1)

        def make(case):
            self.assertEqual(len(case.install), length)
            archive = os.path.join(case.root, "long.zip")
            make_zip(archive, [(fits, b"fits"), (fits + "x", b"too long")])
            return archive
        entries, _ = self.run_case(make, folder_length=length)
        self.assertEqual(entries, [
            ("new", fits.encode(), ""),
            ("refused", fits.encode() + b"x",
             "the path does not fit in 260 bytes below this install folder")])

    def test_archives_that_lie_about_themselves(self):
        """A directory that does not add up is refused whole, and the checker
        names the lie; an end record hidden in the comment is not the
        archive's (Python's zipfile itself takes it and sees no entries)."""
        def lying(case, count, comment):
            archive = os.path.join(case.root, "lying.zip")
            make_zip(archive, [("one.txt", b"one"), ("two.txt", b"two")])
            with open(archive, "rb") as f:
                data = f.read()
            end = data.rfind(b"PK\x05\x06")
            record = (data[end:end + 8] + struct.pack("<HH", count, count) +
                      data[end + 12:end + 20] + struct.pack("<H", len(comment)))
            with open(archive, "wb") as f:
                f.write(data[:end] + record + comment)
            return archive
        fake_end = b"PK\x05\x06" + bytes(18)
        for count, comment, line in (
                (1, b"", b": the end record counts 1 entry but the directory holds 2\n"),
                (2, fake_end, b"new       two.txt (mode 644)\n")):
            with self.subTest(count=count):
                case = Case({})
                try:
                    archive = lying(case, count, comment)
                    checked = case.check(archive)
                    self.assertTrue(checked.stdout.endswith(line), checked.stdout)
                    updated, given = case.update(archive)
                    self.assertEqual((checked.returncode, updated), (1, 2) if count == 1 else (0, 0))
                    self.assertEqual(os.path.exists(given), updated == 2)
                    self.assertEqual(sorted(snapshot(case.copy)),
                                     [] if count == 1 else [b"one.txt", b"two.txt"])
                finally:
                    case.cleanup()

    def test_bytes_after_the_end_record(self):
        """Bytes after the only end record are read past with a warning that
        does not fail the check; an end record signature among them is not."""
        def make(case, junk):
            archive = os.path.join(case.root, "trailing.zip")
            make_zip(archive, [("one.txt", b"one"), ("sub/two.txt", b"two")])
            with open(archive, "ab") as f:
                f.write(junk)
            return archive
        junk = (bytes(range(0x51, 0xFF)) * 2)[:189]
        entries, warnings = self.run_case(lambda case: make(case, junk), files={})
        self.assertEqual(entries, [("new", b"one.txt", ""), ("new", b"sub/two.txt", "")])
        self.assertEqual(warnings, [
            "warning: 189 bytes follow the archive's end record and comment: the updater reads "
            "the archive without them, as most tools do (7-Zip warns); whatever added them may "
            "have meant more"])
        entries, warnings = self.run_case(
            lambda case: make(case, junk[:50] + b"PK\x05\x06" + junk[50:]), files={})
        self.assertEqual((entries, warnings), ([], []))

    def test_files_the_release_neither_carries_nor_drops(self):
        """With a drop list, what the install has beyond the release and the
        list is named, without failing the check; the archive lying in the
        install folder and the updater's own names are not."""
        install = {"readme.txt": b"2.0", "Old.TXT": b"old", "plugins/a.dll": b"a",
                   "plugins/user.ini": b"mine", "~tvx.done": b"", "settings.ini": b"mine"}

        def make(case):
            archive = os.path.join(case.install, "update.zip")
            make_zip(archive, [("readme.txt", b"2.1"),
                               ("tavix-dropped.txt", b"plugins/a.dll\nplugins/\nold.txt\n")])
            return archive
        entries, warnings = self.run_case(make, files=install)
        self.assertEqual([name for _, name, _ in entries], [b"readme.txt", b"tavix-dropped.txt"])
        self.assertEqual(warnings, [
            f"warning: {name} is in the install folder, but the release neither carries it nor "
            "lists it in tavix-dropped.txt: the update leaves it as it is"
            for name in ("plugins/user.ini", "settings.ini")])

        # Many: the first by name, then how many more.
        install = {f"logs/{n:02}.log": b"log" for n in range(22, 0, -1)}
        install["readme.txt"] = b"2.0"
        _, warnings = self.run_case(make, files=install)
        self.assertEqual([w.split()[1] for w in warnings[:20]],
                         [f"logs/{n:02}.log" for n in range(1, 21)])
        self.assertEqual(warnings[20:],
                         ["warning: and 2 more files the update leaves as they are"])

    def test_an_archive_zip_writes_from_a_pipe_is_zip64(self):
        case = Case({})
        try:
            archive = os.path.join(case.root, "piped.zip")
            subprocess.run(["zip", "-q", archive, "-"], input=b"piped", check=True)
            checked = case.check(archive)
            self.assertTrue(checked.stdout.endswith(
                b": it is a ZIP64 archive, which the updater cannot read\n"), checked.stdout)
            self.assertEqual((checked.returncode, case.update(archive)[0]), (1, 2))
        finally:
            case.cleanup()

    def test_a_file_that_is_no_archive(self):
        def make(case):
            path = os.path.join(case.root, "notes.zip")
            with open(path, "wb") as f:
                f.write(b"not an archive\n" * 20)
            return path
        self.run_case(make)


class UsageTest(unittest.TestCase):
    def test_usage_help_and_install_folders_that_are_none(self):
        case = Case({"file.txt": b"x"})
        try:
            archive = os.path.join(DATA, "infozip.zip")
            missing = os.path.join(case.install, "missing")
            file = os.path.join(case.install, "file.txt")
            for args, first in (
                    ([], b"usage: update-check "),
                    ([archive, case.install, "extra"],
                     b"update-check: extra: one archive and at most one install folder"),
                    (["--allow", "readonly", archive], b"update-check: readonly: no such kind"),
                    ([archive, "--allow"], b"update-check: --allow: a KIND must follow"),
                    (["--force", archive], b"update-check: --force: no such option"),
                    ([archive, missing],
                     b"update-check: install folder " + os.fsencode(missing) +
                     b": there is no such folder\n"),
                    ([archive, file],
                     b"update-check: install folder " + os.fsencode(file) +
                     b": it is a file, not a folder\n")):
                with self.subTest(args):
                    result = subprocess.run([CHECKER] + args, stdout=subprocess.PIPE,
                                            stderr=subprocess.PIPE, env=case.environment())
                    self.assertEqual((result.returncode, result.stdout), (2, b""))
                    self.assertTrue(result.stderr.startswith(first), result.stderr)
            helped = subprocess.run([CHECKER, "--help"], stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, env=case.environment())
            self.assertEqual((helped.returncode, helped.stderr), (0, b""))
            self.assertTrue(helped.stdout.startswith(b"usage: update-check [--allow KIND]..."))
            for kind in (b"wrapping-folder", b"read-only", b"empty", b"windows-names",
                         b"collisions"):
                self.assertIn(b"\n  " + kind + b" ", helped.stdout)
            # Without an install folder every file is new.
            result = case.check(archive, install=False)
            self.assertEqual(result.returncode, 0)
            self.assertEqual({kind for kind, *_ in parse_report(result.stdout)[0]},
                             {"new", "folder"})
            self.assertEqual(os.listdir(case.temp), [])
        finally:
            case.cleanup()


if __name__ == "__main__":
    if not CHECKER or not UPDATER or not os.access(UPDATER, os.X_OK):
        sys.exit("usage: update_check_test.py PATH_TO_UPDATER PATH_TO_UPDATE_CHECK [unittest args]")
    unittest.main(verbosity=1)
