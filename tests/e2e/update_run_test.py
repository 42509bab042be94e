"""Runs the built updater as a user would: copied into a program folder with
a stand-in Tavix.exe, given an archive, answered on standard input."""

import calendar
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

UPDATER = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else None

TAVIX_SCRIPT = """#!/bin/sh
# Stand-in main program: records that it ran, where, and what it found.
ls -R . > tavix-saw.txt
echo started >> tavix-starts.txt
pwd > tavix-ran.txt
"""


def wait_for(path, seconds=10.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path):
            time.sleep(0.1)
            return True
        time.sleep(0.05)
    return False


def tree(root, skip=()):
    """Relative paths of everything below root ('/'-terminated for folders)."""
    found = set()
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root)
        for d in dirs:
            found.add(os.path.normpath(os.path.join(rel, d)) + "/")
        for f in files:
            path = os.path.normpath(os.path.join(rel, f))
            if path not in skip:
                found.add(path)
    return found


def place_tavix(folder):
    tavix = os.path.join(folder, "Tavix.exe")
    with open(tavix, "w") as f:
        f.write(TAVIX_SCRIPT)
    os.chmod(tavix, 0o755)


class ProgramFolder:
    """A temporary program folder holding the updater and Tavix.exe, at
    `subpath` below a scratch root."""

    def __init__(self, subpath="app"):
        self.root = tempfile.mkdtemp(prefix="updater-e2e-")
        self.folder = os.path.join(self.root, subpath)
        os.makedirs(self.folder)
        self.updater = os.path.join(self.folder, "updater")
        shutil.copy2(UPDATER, self.updater)
        place_tavix(self.folder)

    def path(self, *parts):
        return os.path.join(self.folder, *parts)

    def environment(self, locale="C"):
        env = dict(os.environ, TZ="UTC", LANG=locale, LC_ALL=locale)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def run(self, args, answer="n", cwd=None, locale="C"):
        return subprocess.run([self.updater] + args, input=(answer + "\n").encode(),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              cwd=cwd or self.root, env=self.environment(locale), timeout=60)

    def start(self, args):
        """The updater started, waiting at its question: gives the process."""
        process = subprocess.Popen([self.updater] + args, stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, cwd=self.root,
                                   env=self.environment())
        prompt = b""
        while not prompt.endswith(b"[y/n] "):
            byte = process.stdout.read(1)
            if not byte:
                break
            prompt += byte
        return process

    @staticmethod
    def answer(process, answer):
        """Answers a started updater and gives its exit code."""
        try:
            process.stdin.write((answer + "\n").encode())
            process.stdin.close()
            return process.wait(timeout=60)
        finally:
            if process.poll() is None:
                process.kill()
            process.stdout.close()

    def tavix_started(self, seconds=10.0):
        return wait_for(self.path("tavix-ran.txt"), seconds)

    def cleanup(self):
        for folder, dirs, files in os.walk(self.root):
            for name in dirs + files:
                p = os.path.join(folder, name)
                if not os.path.islink(p):
                    os.chmod(p, os.stat(p).st_mode | stat.S_IWUSR | stat.S_IXUSR)
        shutil.rmtree(self.root)


def snapshot(root):
    """Every path below root with its content (None for folders)."""
    found = {}
    for folder, dirs, files in os.walk(root):
        for d in dirs:
            found[os.path.relpath(os.path.join(folder, d), root) + "/"] = None
        for f in files:
            path = os.path.join(folder, f)
            with open(path, "rb") as handle:
                found[os.path.relpath(path, root)] = handle.read()
    return found


def make_zip(path, files):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files.items():
            z.writestr(name, data)


class UpdateRunTest(unittest.TestCase):
    def setUp(self):
        self.app = ProgramFolder()

    def tearDown(self):
        self.app.cleanup()

    def test_yes_unpacks_deletes_then_starts_main_program(self):
        archive = self.app.path("update.zip")
        make_zip(archive, {"readme.txt": b"new readme\n", "bin/core.dll": b"\x00core" * 5000})
        result = self.app.run([archive], answer="y")
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertTrue(self.app.tavix_started(), "Tavix.exe was not started on Yes")
        self.assertFalse(os.path.exists(archive))
        with open(self.app.path("bin", "core.dll"), "rb") as f:
            self.assertEqual(f.read(), b"\x00core" * 5000)
        # Tavix.exe starts in the program folder, after every file is in place.
        with open(self.app.path("tavix-ran.txt")) as f:
            self.assertEqual(f.read().strip(), os.path.realpath(self.app.folder))
        with open(self.app.path("tavix-saw.txt")) as f:
            saw = f.read()
        self.assertIn("readme.txt", saw)
        self.assertIn("core.dll", saw)
        self.assertNotIn("update.zip", saw)

    def test_no_unpacks_and_starts_nothing(self):
        archive = self.app.path("update.zip")
        make_zip(archive, {"a.txt": b"A"})
        result = self.app.run([archive], answer="n")
        self.assertEqual(result.returncode, 0)
        self.assertFalse(self.app.tavix_started(1.0))
        self.assertFalse(os.path.exists(archive))
        with open(self.app.path("a.txt"), "rb") as f:
            self.assertEqual(f.read(), b"A")

    def test_relative_archive_path_resolves_against_program_folder(self):
        make_zip(self.app.path("update.zip"), {"rel.txt": b"relative"})
        elsewhere = os.path.join(self.app.root, "elsewhere")
        os.mkdir(elsewhere)
        make_zip(os.path.join(elsewhere, "update.zip"), {"wrong.txt": b"wrong"})
        result = self.app.run(["update.zip"], cwd=elsewhere)
        self.assertEqual(result.returncode, 0)
        self.assertTrue(os.path.exists(self.app.path("rel.txt")))
        self.assertFalse(os.path.exists(self.app.path("update.zip")))
        self.assertTrue(os.path.exists(os.path.join(elsewhere, "update.zip")))
        self.assertFalse(os.path.exists(os.path.join(elsewhere, "rel.txt")))

    def test_failed_runs_keep_the_file_start_main_program_and_exit_2(self):
        not_zip = self.app.path("notes.txt")
        with open(not_zip, "wb") as f:
            f.write(b"this is not an archive\n" * 10)
        cases = {"missing": [self.app.path("missing.zip")], "not a zip": [not_zip],
                 "no argument": []}
        for label, args in cases.items():
            with self.subTest(label):
                marker = self.app.path("tavix-ran.txt")
                if os.path.exists(marker):
                    os.remove(marker)
                result = self.app.run(args, answer="y")
                self.assertEqual(result.returncode, 2)
                self.assertTrue(self.app.tavix_started(), "Tavix.exe not started on Yes")
        with open(not_zip, "rb") as f:
            self.assertEqual(f.read(), b"this is not an archive\n" * 10)

    def test_empty_archive_is_deleted(self):
        archive = self.app.path("empty.zip")
        with open(archive, "wb") as f:
            f.write(b"PK\x05\x06" + b"\x00" * 18)
        result = self.app.run([archive])
        self.assertEqual(result.returncode, 0)
        self.assertFalse(os.path.exists(archive))

    def test_unix_modes_give_programs_their_execute_bits_and_nothing_more(self):
        script = b"#!/bin/sh\necho helper ran\n"
        with open(self.app.path("old.sh"), "wb") as f:
            f.write(b"#!/bin/sh\n")
        os.chmod(self.app.path("old.sh"), 0o644)
        # name: (host, mode stored, mode after the update under umask 022)
        cases = {
            "bin/helper": (3, 0o100755, 0o755),
            "share/data.txt": (3, 0o100644, 0o644),
            "bin/setuid": (3, 0o107775, 0o755),  # set-user-ID, set-group-ID, sticky
            "bin/link": (3, 0o120777, 0o644),    # a link's bits are no file's
            "owner-only": (3, 0o100744, 0o744),
            "Tavix.exe": (3, 0o100644, 0o755),   # a replaced program stays runnable
            "old.sh": (3, 0o100755, 0o755),
            "from-windows.exe": (0, 0x20, 0o644),
        }
        archive = self.app.path("update.zip")
        with zipfile.ZipFile(archive, "w") as z:
            for name, (host, mode, _) in cases.items():
                info = zipfile.ZipInfo(name, (2024, 1, 2, 3, 4, 6))
                info.create_system = host
                info.external_attr = mode << 16 if host == 3 else mode
                z.writestr(info, TAVIX_SCRIPT if name == "Tavix.exe" else script)
        umask = os.umask(0o022)
        try:
            result = self.app.run([archive])
        finally:
            os.umask(umask)
        self.assertEqual(result.returncode, 0, result.stdout)
        for name, (_, _, wanted) in cases.items():
            self.assertEqual(oct(os.stat(self.app.path(name)).st_mode & 0o7777), oct(wanted), name)
        ran = subprocess.run([self.app.path("bin", "helper")], stdout=subprocess.PIPE, timeout=10)
        self.assertEqual(ran.stdout, b"helper ran\n")

    def test_question_is_shown_readably(self):
        archive = self.app.path("update.zip")
        make_zip(archive, {"a.txt": b"A"})
        env_answer = self.app.run([archive], answer="n")
        shown = env_answer.stdout.decode("utf-8", "replace")
        self.assertIn("Tavix软件升级完成！是否启动软件？", shown)

    def test_question_comes_before_any_file_is_unpacked(self):
        with open(self.app.path("readme.txt"), "wb") as f:
            f.write(b"old readme\n")
        archive = self.app.path("update.zip")
        make_zip(archive, {"readme.txt": b"new readme\n", "docs/new.txt": b"new"})
        process = subprocess.Popen([self.app.updater, archive], stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, cwd=self.app.root,
                                   env=self.app.environment())
        try:
            prompt = b""
            while not prompt.endswith(b"[y/n] "):
                byte = process.stdout.read(1)
                self.assertTrue(byte, "the updater ended without asking")
                prompt += byte
            # The question waits for its answer: the folder is as it was.
            with open(self.app.path("readme.txt"), "rb") as f:
                self.assertEqual(f.read(), b"old readme\n")
            self.assertFalse(os.path.exists(self.app.path("docs")))
            self.assertTrue(os.path.exists(archive))
            process.stdin.write(b"n\n")
            process.stdin.close()
            self.assertEqual(process.wait(timeout=60), 0)
        finally:
            if process.poll() is None:
                process.kill()
            process.stdout.close()
        with open(self.app.path("readme.txt"), "rb") as f:
            self.assertEqual(f.read(), b"new readme\n")
        self.assertFalse(os.path.exists(archive))


def central_unix_mtime(info):
    """The modification time of a "UT" block in a central extra field."""
    extra, pos = info.extra, 0
    while pos + 4 <= len(extra):
        tag = int.from_bytes(extra[pos:pos + 2], "little")
        size = int.from_bytes(extra[pos + 2:pos + 4], "little")
        if tag == 0x5455 and size >= 5 and extra[pos + 4] & 1:
            return int.from_bytes(extra[pos + 5:pos + 9], "little", signed=True)
        pos += 4 + size
    return None


def expected_tree(archive):
    """Folders and files the archive should leave behind, with their entries."""
    files, folders = {}, set()
    with zipfile.ZipFile(archive) as z:
        for info in z.infolist():
            name = info.orig_filename.replace("\\", "/")
            parts = [p for p in name.split("/") if p and p != "."]
            for i in range(1, len(parts)):
                folders.add("/".join(parts[:i]) + "/")
            if name.endswith("/"):
                if parts:
                    folders.add("/".join(parts) + "/")
            else:
                files["/".join(parts)] = info
    return files, folders


def make_source_tree(root):
    os.makedirs(os.path.join(root, "bin"))
    os.makedirs(os.path.join(root, "data", "deep", "nested"))
    os.makedirs(os.path.join(root, "emptydir"))
    contents = {
        "readme.txt": b"Tavix update\n" * 40,
        "bin/app.bin": bytes((i * 7919) % 251 for i in range(120000)),
        "data/deep/nested/x.dat": os.urandom(40000),
        "empty.txt": b"",
        "ro.txt": b"read-only file\n",
        "\u4e2d\u6587.txt": "utf-8 named".encode(),
    }
    for name, data in contents.items():
        path = os.path.join(root, name)
        with open(path, "wb") as f:
            f.write(data)
        os.utime(path, (1600000000, 1600000000 + len(name)))
    os.chmod(os.path.join(root, "ro.txt"), 0o444)


def build_with_tool(tool, source, out):
    """Makes out from source with a real archiver, as a user would."""
    commands = {
        "zip": f"zip -qr -X {out} .",
        "zip-descriptors": f"zip -qr - . | cat > {out}",
        "7z": f"7z a -tzip -bd -bso0 {out} .",
        "bsdtar": f"bsdtar --format zip -cf {out} .",
    }
    subprocess.run(commands[tool], shell=True, cwd=source, check=True)


def make_python_zip(out):
    """Python's zipfile, with a read-only entry, an empty folder and a GBK name."""
    gbk_name = "\u8f6f\u4ef6.txt".encode("gbk")
    placeholder = b"X" * (len(gbk_name) - 4) + b".txt"
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("folder/", (2020, 5, 17, 10, 20, 30)), b"")
        ro = zipfile.ZipInfo("folder/ro.bin", (2019, 1, 2, 3, 4, 6))
        ro.external_attr = 0o100444 << 16
        ro.create_system = 3
        z.writestr(ro, b"ro" * 1000, zipfile.ZIP_DEFLATED)
        z.writestr(zipfile.ZipInfo(placeholder.decode(), (2018, 8, 9, 10, 11, 12)), b"gbk named")
        z.writestr(zipfile.ZipInfo("stored.bin", (2021, 12, 31, 23, 59, 58)), os.urandom(3000),
                   zipfile.ZIP_STORED)
        z.comment = b"made by zipfile"
    with open(out, "rb") as f:
        data = f.read()
    with open(out, "wb") as f:
        f.write(data.replace(placeholder, gbk_name))


class RealArchiveTest(unittest.TestCase):
    """Archives from the tools people use: the folder ends up holding exactly
    the archive's tree, byte for byte, with the archive's times."""

    OWN_FILES = {"updater", "Tavix.exe", "tavix-ran.txt", "tavix-saw.txt", "tavix-starts.txt"}

    def check_unpacked(self, app, archive, reference):
        files, folders = expected_tree(reference)
        result = app.run([archive], answer="y")
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertTrue(app.tavix_started())
        self.assertFalse(os.path.exists(archive))
        root = os.fsencode(app.folder)
        found = set()
        for folder, dirs, names in os.walk(root):
            rel = os.path.relpath(folder, root)
            for d in dirs:
                found.add(os.path.normpath(os.path.join(rel, d)) + b"/")
            for n in names:
                found.add(os.path.normpath(os.path.join(rel, n)))
        found -= {os.fsencode(n) for n in self.OWN_FILES}
        wanted = {name.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
                  for name, info in files.items()}
        wanted |= {f.encode("utf-8") for f in folders}
        # zipfile decodes non-UTF-8 names as cp437: compare raw bytes.
        self.assertEqual(found, wanted)
        with zipfile.ZipFile(reference) as z:
            for name, info in files.items():
                raw = name.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
                path = os.path.join(root, raw)
                with open(path, "rb") as f:
                    self.assertEqual(f.read(), z.read(info), name)
                mtime = central_unix_mtime(info)
                if mtime is None:
                    mtime = calendar.timegm(info.date_time + (0, 0, 0))
                self.assertEqual(int(os.stat(path).st_mtime), mtime, name)
                mode = info.external_attr >> 16
                if info.create_system == 3 and mode and not mode & 0o200:
                    self.assertFalse(os.stat(path).st_mode & 0o222, name + " should be read-only")

    def run_archive(self, make):
        app = ProgramFolder()
        try:
            archive = app.path("update.zip")
            make(archive)
            reference = os.path.join(app.root, "reference.zip")
            shutil.copy(archive, reference)
            self.check_unpacked(app, archive, reference)
        finally:
            app.cleanup()

    def test_archives_from_real_tools(self):
        for tool in ("zip", "zip-descriptors", "7z", "bsdtar"):
            if not shutil.which(tool.split("-")[0]):
                self.fail(f"{tool} is not installed")
            with self.subTest(tool):
                source = tempfile.mkdtemp(prefix="updater-src-")
                try:
                    make_source_tree(source)
                    self.run_archive(lambda out, t=tool: build_with_tool(t, source, out))
                finally:
                    os.chmod(os.path.join(source, "ro.txt"), 0o644)
                    shutil.rmtree(source)

    def test_info_zip_flags_utf8_names_only_where_en_us_utf8_is_installed(self):
        # Debian's zip asks for the en_US.UTF-8 locale itself, whatever the
        # environment names; without it the UTF-8 bytes go in unflagged,
        # which each user's Windows reads in its own code page.
        self.assertIn("en_US.utf8", subprocess.run(["locale", "-a"], stdout=subprocess.PIPE,
                                                   text=True).stdout.split(),
                      "en_US.UTF-8 is not generated (scripts/test.sh generates it as root)")
        with tempfile.TemporaryDirectory(prefix="updater-zip-locale-") as scratch:
            name = "\u5347\u7ea7\u8bf4\u660e.txt"
            with open(os.path.join(scratch, name), "wb") as f:
                f.write(b"x")
            withheld = os.path.join(scratch, "no-locales")
            os.mkdir(withheld)
            cases = [(locale, {}, 0x800) for locale in ("C", "C.UTF-8", "en_US.UTF-8")]
            cases.append(("en_US.UTF-8", {"LOCPATH": withheld}, 0))
            for index, (locale, extra, flag) in enumerate(cases):
                with self.subTest(locale=locale, withheld=bool(extra)):
                    out = os.path.join(scratch, f"{index}.zip")
                    env = dict(os.environ, LC_ALL=locale, LANG=locale, **extra)
                    subprocess.run(["zip", "-q", "-X", out, name], cwd=scratch, env=env,
                                   check=True)
                    with zipfile.ZipFile(out) as z:
                        info = z.infolist()[0]
                    self.assertEqual(info.flag_bits & 0x800, flag)
                    raw = info.orig_filename.encode("utf-8" if flag else "cp437")
                    self.assertEqual(raw, name.encode())

    def test_python_zipfile_archive_with_gbk_name_and_read_only_entry(self):
        self.run_archive(make_python_zip)

    def test_archive_behind_other_data_with_comment(self):
        def make(out):
            make_python_zip(out + ".plain")
            with open(out + ".plain", "rb") as f:
                data = f.read()
            os.remove(out + ".plain")
            with open(out, "wb") as f:
                f.write(b"MZ" + b"\x90" * 5000 + data)
        self.run_archive(make)


class ProgramFolderTest(unittest.TestCase):
    """Where the run can place itself, and what it does when it cannot."""

    def tearDown(self):
        self.app.cleanup()

    def assert_nothing_done(self, archive, result):
        self.assertEqual(result.returncode, 2, result.stdout)
        self.assertIn("Tavix".encode(), result.stdout, "the question is still asked")
        self.assertEqual(snapshot(self.app.root), self.before, "something was written")
        self.assertTrue(os.path.exists(archive))

    def test_any_path_linux_has_is_taken_as_it_is_in_every_locale(self):
        # Linux paths are bytes: UTF-8, GBK and bytes that are neither all
        # name the folder and the archive exactly, whatever the locale says.
        name = os.fsdecode(b"J\xc3\xb6rg \xe5\xa1\x94 \xcb\xfe \xff\x81")
        for locale in ("C", "en_US.UTF-8", "zh_CN.GBK"):
            with self.subTest(locale):
                if hasattr(self, "app"):
                    self.app.cleanup()
                self.app = ProgramFolder(os.path.join(name, "Tavix"))
                downloads = os.path.join(self.app.root, name, "Downloads")
                os.makedirs(downloads)
                archive = os.path.join(downloads, "update.zip")
                make_zip(archive, {"readme.txt": b"new"})
                result = self.app.run([archive], answer="y", locale=locale)
                self.assertEqual(result.returncode, 0, result.stdout)
                self.assertFalse(os.path.exists(archive))
                with open(self.app.path("readme.txt"), "rb") as f:
                    self.assertEqual(f.read(), b"new")
                self.assertTrue(self.app.tavix_started(), "Tavix.exe was not started on Yes")

    def test_a_path_too_long_to_read_whole_unpacks_nothing_and_starts_nothing(self):
        # Cut to 259 bytes, the path's last separator would name the folder
        # two levels up, where a Tavix.exe waits to be started by mistake.
        self.app = ProgramFolder(os.path.join("x" * 100, "y" * 100, "z" * 100))
        above = os.path.join(self.app.root, "x" * 100, "y" * 100)
        self.assertGreater(len(os.path.realpath(self.app.updater).encode()), 260)
        place_tavix(above)
        archive = os.path.join(self.app.root, "update.zip")
        make_zip(archive, {"readme.txt": b"new"})
        self.before = snapshot(self.app.root)
        result = self.app.run([archive], answer="y")
        self.assert_nothing_done(archive, result)
        self.assertFalse(wait_for(os.path.join(above, "tavix-ran.txt"), 1.0))

    def test_a_folder_that_cannot_be_entered_unpacks_nothing_and_starts_nothing(self):
        # A folder whose name holds a backslash is two folders to Windows
        # calls: the run cannot make it its current directory, and once
        # unpacked where it was started and started the Tavix.exe there.
        self.app = ProgramFolder("app\\program")
        place_tavix(self.app.root)
        archive = os.path.join(self.app.root, "update.zip")
        make_zip(archive, {"readme.txt": b"new"})
        self.before = snapshot(self.app.root)
        result = self.app.run([archive], answer="y", cwd=self.app.root)
        self.assert_nothing_done(archive, result)
        self.assertFalse(wait_for(os.path.join(self.app.root, "tavix-ran.txt"), 1.0))

    def test_a_long_program_folder_still_gets_a_temporary_that_fits(self):
        self.app = ProgramFolder("app")
        deep = self.app.root
        while len(os.path.realpath(deep).encode()) < 241:
            deep = os.path.join(deep, "d" * min(100, 241 - len(os.path.realpath(deep)) - 1))
        os.makedirs(deep, exist_ok=True)
        self.assertEqual(len(os.path.realpath(deep).encode()), 241)
        shutil.copy2(UPDATER, os.path.join(deep, "updater"))
        self.app.updater = os.path.join(deep, "updater")
        # "sub/b.txt" leaves 13 bytes for a temporary beside it, the longest
        # name that fits leaves none over.
        longest = "c" * (259 - 241 - 1 - len("sub/"))
        archive = os.path.join(self.app.root, "update.zip")
        make_zip(archive, {"sub/b.txt": b"b", "sub/" + longest: b"c"})
        result = self.app.run([archive])
        self.assertEqual(result.returncode, 0, result.stdout)
        with open(os.path.join(deep, "sub", "b.txt"), "rb") as f:
            self.assertEqual(f.read(), b"b")
        with open(os.path.join(deep, "sub", longest), "rb") as f:
            self.assertEqual(f.read(), b"c")
        self.assertEqual(sorted(os.listdir(os.path.join(deep, "sub"))), sorted(["b.txt", longest]))

    def test_the_archive_itself_as_an_entry_is_refused_and_kept_whole(self):
        self.app = ProgramFolder()
        archive = self.app.path("update.zip")
        make_zip(archive, {"update.zip": b"not the archive", "other.txt": b"other"})
        with open(archive, "rb") as f:
            original = f.read()
        before = snapshot(self.app.folder)
        result = self.app.run(["update.zip"])
        self.assertEqual(result.returncode, 2)
        with open(archive, "rb") as f:
            self.assertEqual(f.read(), original)
        self.assertEqual(snapshot(self.app.folder), before, "the whole update or none of it")

    def test_a_second_updater_in_the_same_folder_does_nothing(self):
        self.app = ProgramFolder()
        archive = self.app.path("update.zip")
        make_zip(archive, {"readme.txt": b"new"})
        first = self.app.start([archive])
        before = snapshot(self.app.root)
        second = self.app.run([archive], answer="y")
        self.assertEqual(second.returncode, 2)
        self.assertEqual(second.stdout, b"", "the second one asks nothing")
        self.assertEqual(snapshot(self.app.root), before, "the second one touches nothing")
        self.assertEqual(self.app.answer(first, "y"), 0)
        self.assertTrue(self.app.tavix_started())
        with open(self.app.path("tavix-starts.txt")) as f:
            self.assertEqual(f.read(), "started\n", "Tavix.exe is started once")

        # The lock goes with its process however it ends: one killed at the
        # question leaves nothing that stops the next run.
        make_zip(archive, {"readme.txt": b"newer"})
        killed = self.app.start([archive])
        killed.kill()
        killed.wait()
        killed.stdout.close()
        killed.stdin.close()
        self.assertEqual(self.app.run([archive]).returncode, 0)
        with open(self.app.path("readme.txt"), "rb") as f:
            self.assertEqual(f.read(), b"newer")
        left = set(os.listdir(self.app.folder)) - {"updater", "Tavix.exe", "readme.txt"}
        self.assertEqual(left, {"tavix-ran.txt", "tavix-saw.txt", "tavix-starts.txt"})


class SafetyTest(unittest.TestCase):
    """What an update must never do: write outside the program folder, or
    leave a damaged file where a good one was."""

    def setUp(self):
        self.app = ProgramFolder()

    def tearDown(self):
        self.app.cleanup()

    def test_path_tricks_write_nothing_outside_the_program_folder(self):
        names = ["../evil1", "..\\evil2", "a/../../evil3", "x/../..", "/abs4", "C:\\x\\y5",
                 "\\\\server\\share\\z6", "ok/../../../evil7", "..", "../"]
        archive = self.app.path("update.zip")
        # zipfile stores names as given; only its own extraction cleans them.
        with zipfile.ZipFile(archive, "w") as z:
            for name in names:
                z.writestr(zipfile.ZipInfo(name), b"payload")
            z.writestr("good.txt", b"good")
        before_root = set(os.listdir(self.app.root))
        before = snapshot(self.app.folder)
        result = self.app.run([archive])
        self.assertEqual(set(os.listdir(self.app.root)), before_root)
        for absolute in ("/abs4", "/evil1", "/evil3", "/y5", "/z6"):
            self.assertFalse(os.path.exists(absolute), absolute)
        # Refused names fail the update: what went in inside the folder
        # ("abs4", "good.txt") is undone, and the archive kept.
        self.assertEqual(snapshot(self.app.folder), before)
        self.assertEqual(result.returncode, 2)
        self.assertTrue(os.path.exists(archive))

    def test_a_damaged_entry_leaves_the_old_version_exact(self):
        old = {"app.bin": b"old application\n" * 100, "lib.dll": b"old library\n" * 100,
               "data/config.ini": b"[old]\n"}
        os.mkdir(self.app.path("data"))
        for name, data in old.items():
            with open(self.app.path(name), "wb") as f:
                f.write(data)
            os.utime(self.app.path(name), (1500000000, 1500000000))
        archive = self.app.path("update.zip")
        # Everything else goes in first: new files in new folders, replaced
        # ones; the damaged entries come last.
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("added.txt", b"added")
            z.writestr("plugins/new/plugin.dll", b"plugin")
            z.writestr("data/config.ini", b"[new]\n")
            z.writestr("app.bin", os.urandom(50000))
            z.writestr("lib.dll", b"new library\n" * 5000)
        with open(archive, "rb") as f:
            data = bytearray(f.read())
        with zipfile.ZipFile(archive) as z:
            app_info = z.getinfo("app.bin")
            lib_info = z.getinfo("lib.dll")
        # Damage app.bin's deflate data and lib.dll's CRC in both headers.
        data_start = app_info.header_offset + 30 + len("app.bin")
        data[data_start + 100:data_start + 400] = os.urandom(300)
        crc = lib_info.CRC.to_bytes(4, "little")
        bad = ((lib_info.CRC + 1) & 0xFFFFFFFF).to_bytes(4, "little")
        data = bytearray(bytes(data).replace(crc, bad))
        with open(archive, "wb") as f:
            f.write(data)
        before = snapshot(self.app.folder)
        result = self.app.run([archive], answer="y")
        self.assertEqual(result.returncode, 2)
        self.assertTrue(os.path.exists(archive), "a failed update must keep its archive")
        self.assertTrue(self.app.tavix_started(), "the old Tavix.exe starts on Yes")
        for tavix_file in ("tavix-ran.txt", "tavix-saw.txt", "tavix-starts.txt"):
            os.remove(self.app.path(tavix_file))
        self.assertEqual(snapshot(self.app.folder), before, "the old version, byte for byte")
        for name in old:
            self.assertEqual(int(os.stat(self.app.path(name)).st_mtime), 1500000000)

    def test_update_replaces_old_version_and_read_only_file_stays(self):
        with open(self.app.path("keep.txt"), "wb") as f:
            f.write(b"old, read-only")
        os.chmod(self.app.path("keep.txt"), 0o444)
        with open(self.app.path("app.bin"), "wb") as f:
            f.write(b"old")
        os.chmod(self.app.path("app.bin"), 0o755)
        archive = self.app.path("update.zip")
        make_zip(archive, {"app.bin": b"new app", "keep.txt": b"new keep"})
        result = self.app.run([archive])
        with open(self.app.path("app.bin"), "rb") as f:
            self.assertEqual(f.read(), b"old", "a refused entry fails the whole update")
        with open(self.app.path("keep.txt"), "rb") as f:
            self.assertEqual(f.read(), b"old, read-only")
        self.assertEqual(result.returncode, 2)
        self.assertTrue(os.path.exists(archive))

        # Made writable, the same archive goes in whole.
        os.chmod(self.app.path("keep.txt"), 0o644)
        self.assertEqual(self.app.run([archive]).returncode, 0)
        with open(self.app.path("app.bin"), "rb") as f:
            self.assertEqual(f.read(), b"new app")
        self.assertTrue(os.stat(self.app.path("app.bin")).st_mode & stat.S_IXUSR,
                        "an updated executable stays executable")
        self.assertFalse(os.path.exists(archive))

    def test_a_leftover_whose_path_does_not_fit_is_never_swept(self):
        # An old file an earlier version kept as NAME.~tvxPPPPSSSS.old, where
        # the folder and NAME take 259 bytes: cut to fit, its path would be
        # NAME's, a file the update does not even carry.
        folder = self.app.path("deep")
        while len(os.path.realpath(folder).encode()) < 200:
            folder = os.path.join(folder, "d" * min(50, 200 - len(os.path.realpath(folder)) - 1))
        os.makedirs(folder)
        name = "n" * (259 - len(os.path.realpath(folder).encode()) - 1)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"installed")
        with open(os.path.join(folder, name + ".~tvx00010002.old"), "wb") as f:
            f.write(b"kept by an older updater")
        relative = os.path.relpath(folder, self.app.folder).replace(os.sep, "/")
        archive = self.app.path("update.zip")
        make_zip(archive, {relative + "/other.txt": b"other"})
        self.assertEqual(self.app.run([archive]).returncode, 0)
        with open(os.path.join(folder, name), "rb") as f:
            self.assertEqual(f.read(), b"installed")


if __name__ == "__main__":
    if not UPDATER or not os.access(UPDATER, os.X_OK):
        sys.exit("usage: update_run_test.py PATH_TO_UPDATER [unittest args]")
    unittest.main(verbosity=1)
