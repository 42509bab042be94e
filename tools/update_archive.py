#!/usr/bin/env python3
"""Update archives for the Tavix updater, made so that it installs them right
the first time: what the updater (or Windows below it) would refuse or
mangle is refused here, before anything reaches a user.

The archive is written by hand rather than with zipfile: code page 936 names
with a Unicode Path block and a "UT" time block in the local headers are
beyond what zipfile writes.
"""

import argparse
import os
import stat
import struct
import sys
import tempfile
import time
import zipfile
import zlib

PROGRAM = "update_archive.py"

# No ZIP64 records: counts, sizes and offsets must fit the classic fields.
MAX_ENTRIES = 0xFFFF
ARCHIVE_SIZE_LIMIT = 2**31
FILE_SIZE_LIMIT = 2**32

# Windows paths stay below 260 bytes with their terminator; the updater
# builds every path in buffers of that size and refuses longer stored names.
MAX_PATH_BYTES = 259
MAX_NAME_BYTES = 259
MAX_COMPONENT_BYTES = 255
# Windows makes a folder only when an 8.3 name still fits behind it.
MAX_FOLDER_PATH_BYTES = 247
DEFAULT_INSTALL_DIR_LENGTH = 80

DOS_READ_ONLY = 0x01
DOS_HIDDEN = 0x02
DOS_SYSTEM = 0x04
DOS_DIRECTORY = 0x10
DOS_ARCHIVE = 0x20
HOST_DOS = 0
HOST_UNIX = 3
FILE_ATTRIBUTE_REPARSE_POINT = 0x400

UTF8_NAME_FLAG = 0x0800
METHOD_STORED = 0
METHOD_DEFLATED = 8
VERSION_MADE_BY = 20
UNIX_TIMESTAMP_TAG = 0x5455
UNICODE_PATH_TAG = 0x7075
UT_MODIFICATION_TIME = 0x01

WINDOWS_INVALID_CHARACTERS = set('<>:"|?*') | {chr(c) for c in range(0x20)}
WINDOWS_DEVICE_NAMES = {"CON", "PRN", "AUX", "NUL"} | {
    f"{device}{n}" for device in ("COM", "LPT") for n in "0123456789\u00b9\u00b2\u00b3"}

# What a release may hold on purpose though it is refused by default; the
# same words as the checker's --allow.
ALLOW_KINDS = ("wrapping-folder", "read-only", "empty")

# The list of what a release drops, packed as a file of the program folder:
# UTF-8, one path per line ending in LF, '/' between folders, a folder with
# a '/' at its end, each folder after everything below it. The client
# library (kit/) removes what it lists once the update is in.
DROP_LIST_NAME = "tavix-dropped.txt"

DOS_EARLIEST = (1980, 1, 1, 0, 0, 0)
DOS_LATEST = (2107, 12, 31, 23, 59, 58)
READ_CHUNK = 1 << 20


class Refusal(Exception):
    """Why an entry, or the archive as a whole, cannot go to users."""


def encode_cp936(text):
    """The bytes of `text` on a code page 936 system. Python's GBK codec
    lacks the one code Windows adds to it, 0x80 for the euro sign."""
    return b"\x80".join(part.encode("gbk") for part in text.split("\u20ac"))


def encode_name(text, names):
    """The stored bytes of `text` and the general-purpose flags they need."""
    undecodable = [c for c in text if "\udc80" <= c <= "\udcff"]
    if undecodable:
        raise Refusal("its file name holds bytes that are no text in the file system's "
                      f"encoding (0x{ord(undecodable[0]) - 0xDC00:02x})")
    if names == "cp936":
        try:
            return encode_cp936(text), 0
        except UnicodeEncodeError as error:
            raise Refusal(f"code page 936 has no code for {text[error.start]!r} "
                          f"(U+{ord(text[error.start]):04X})") from None
    stored = text.encode("utf-8")
    return stored, 0 if text.isascii() else UTF8_NAME_FLAG


def windows_length(text):
    """Bytes `text` takes in a path on the users' Windows. The updater builds
    its paths in its own code page, UTF-8 from Windows 10 version 1903 on,
    whatever the name's code in the archive: a Chinese character takes 3
    bytes there. An older Windows builds them in its ANSI code page, where
    no character takes more than in UTF-8 (2 bytes in code page 936)."""
    return len(text.encode("utf-8"))


def outside_cp936(text):
    """The first character of `text` that code page 936 has no code for, or
    None."""
    for c in text:
        try:
            encode_cp936(c)
        except UnicodeEncodeError:
            return c
    return None


def name_warnings(name):
    """What a user should know about a UTF-8 name on an older Windows."""
    c = outside_cp936(name)
    if c is None:
        return []
    return [f"code page 936 has no code for {c!r} (U+{ord(c):04X}): Windows 10 from version "
            "1903 on installs it, an older Chinese Windows refuses it"]


def check_component(part, names):
    """Refuses one folder or file name of an entry name."""
    if part == "..":
        raise Refusal("has a '..' component, which would climb out of the program folder")
    if part in ("", "."):
        raise Refusal("has an empty or '.' component")
    if "\\" in part:
        raise Refusal("holds '\\', which the updater takes as a folder separator")
    for c in part:
        if c in WINDOWS_INVALID_CHARACTERS:
            shown = repr(c) if c >= " " else f"control character 0x{ord(c):02x}"
            raise Refusal(f"holds {shown}, which Windows does not allow in a file name")
    if part[-1] in ". ":
        raise Refusal(f"has {part!r}, ending in a dot or space, which Windows drops")
    if part.split(".", 1)[0].rstrip(" ").upper() in WINDOWS_DEVICE_NAMES:
        raise Refusal(f"has {part!r}, which Windows takes as a device name")
    c = outside_cp936(part) if names == "cp936" else None
    if c is not None:
        raise Refusal(f"code page 936 has no code for {c!r} (U+{ord(c):04X})")
    length = windows_length(part)
    if length > MAX_COMPONENT_BYTES:
        raise Refusal(f"has a component of {length} bytes; Windows allows "
                      f"{MAX_COMPONENT_BYTES}")


def check_install_length(name, install_dir_length):
    """Refuses a name whose path below the program folder Windows or the
    updater cannot make."""
    base = install_dir_length + 1
    is_folder = name.endswith("/")
    if is_folder:
        needed = base + windows_length(name.rstrip("/"))
        if needed > MAX_FOLDER_PATH_BYTES:
            raise Refusal(f"too long for the install folder: {install_dir_length} + 1 + "
                          f"{needed - base} = {needed} bytes; Windows makes folders of at "
                          f"most {MAX_FOLDER_PATH_BYTES}")
        return
    needed = base + windows_length(name)
    if needed > MAX_PATH_BYTES:
        raise Refusal(f"too long for the install folder: {install_dir_length} + 1 + "
                      f"{needed - base} = {needed} bytes; Windows allows {MAX_PATH_BYTES}")


def check_entry_name(name, names="utf8", install_dir_length=DEFAULT_INSTALL_DIR_LENGTH):
    """The stored bytes and flags of entry `name` ('/'-separated, folders
    ending in '/'), or Refusal when the updater would refuse or mangle it."""
    for part in (name[:-1] if name.endswith("/") else name).split("/"):
        check_component(part, names)
    stored, flags = encode_name(name, names)
    if len(stored) > MAX_NAME_BYTES:
        raise Refusal(f"its stored name is {len(stored)} bytes; the updater refuses names "
                      f"of {MAX_NAME_BYTES + 1} bytes or more")
    check_install_length(name, install_dir_length)
    return stored, flags


def entry_attributes(st_mode, file_attributes=0):
    """(host system, external attributes) for a file or folder of mode
    `st_mode` and Windows attributes `file_attributes` (0 off Windows).

    Host 3 carries the Unix mode, which tells the updater "folder" and
    "read-only"; a hidden or system file needs host 0, whose DOS byte the
    updater reads instead. Both keep the mode and the DOS byte."""
    is_folder = stat.S_ISDIR(st_mode)
    dos = file_attributes & (DOS_HIDDEN | DOS_SYSTEM | DOS_ARCHIVE)
    mode = stat.S_IFMT(st_mode) | (st_mode & 0o777)
    if is_folder:
        dos |= DOS_DIRECTORY
    elif not st_mode & stat.S_IWUSR or file_attributes & DOS_READ_ONLY:
        dos |= DOS_READ_ONLY
        mode &= ~0o222
    host = HOST_DOS if dos & (DOS_HIDDEN | DOS_SYSTEM) else HOST_UNIX
    return host, (mode << 16) | dos


def dos_date_time(seconds):
    """(DOS date, DOS time, True when clamped) of a Unix time, in local time."""
    try:
        local = time.localtime(seconds)[:6]
    except (OverflowError, OSError, ValueError):
        local = DOS_EARLIEST if seconds < 0 else DOS_LATEST
    clamped = min(max(local, DOS_EARLIEST), DOS_LATEST)
    year, month, day, hour, minute, second = clamped
    date = ((year - 1980) << 9) | (month << 5) | day
    clock = (hour << 11) | (minute << 5) | (second // 2)
    return date, clock, clamped != local


def timestamp_block(seconds):
    """The "UT" extra block with the modification time; empty when the time
    does not fit the signed 32 bits the updater reads."""
    if not -2**31 <= seconds < 2**31:
        return b""
    return struct.pack("<HHBi", UNIX_TIMESTAMP_TAG, 5, UT_MODIFICATION_TIME, seconds)


def unicode_path_block(entry):
    """Info-ZIP's Unicode Path block for a non-ASCII name stored unflagged:
    without it each user's Windows would read the stored bytes in its own
    code page, so a code page 936 name would land garbled on any other."""
    if entry.flags & UTF8_NAME_FLAG or entry.stored.isascii():
        return b""
    utf8 = entry.name.encode("utf-8")
    return struct.pack("<HHBI", UNICODE_PATH_TAG, 5 + len(utf8), 1,
                       zlib.crc32(entry.stored)) + utf8


def time_warnings(seconds):
    """What a user should know about how a file time goes into the archive."""
    warnings = []
    if dos_date_time(seconds)[2]:
        warnings.append(f"its time ({describe_time(seconds)}) lies outside 1980..2107; its "
                        "DOS time is clamped to that range")
    if not timestamp_block(seconds):
        warnings.append(f"its time ({describe_time(seconds)}) does not fit a 32-bit Unix time "
                        "and has no UT block; the updater takes the DOS time")
    return warnings


def describe_time(seconds):
    try:
        return time.strftime("%Y-%m-%d %H:%M:%S", time.localtime(seconds))
    except (OverflowError, OSError, ValueError):
        return f"{seconds} seconds from 1970"


class Entry:
    """One file or folder to pack."""

    def __init__(self, name, path, st, stored, flags):
        self.name = name
        self.path = path
        self.st = st
        self.stored = stored
        self.flags = flags
        self.is_folder = stat.S_ISDIR(st.st_mode)
        self.seconds = st.st_mtime_ns // 10**9


def windows_case_key(name):
    """`name` as Windows compares it: upper case, one character for one."""
    return "".join(c.upper() if len(c.upper()) == 1 else c for c in name.rstrip("/"))


def collect_entries(source, names, install_dir_length, allowed=()):
    """Every file and folder below `source`, sorted, each folder before what
    it holds, and the problems found as (path, reason). `allowed` holds the
    kinds of ALLOW_KINDS accepted on purpose."""
    entries, problems, seen = [], [], {}

    def visit(folder, prefix):
        try:
            children = sorted(os.scandir(folder), key=lambda item: item.name)
        except OSError as error:
            problems.append((folder, f"cannot be listed: {error.strerror}"))
            return
        for child in children:
            try:
                st = os.lstat(child.path)
            except OSError as error:
                problems.append((child.path, f"cannot be read: {error.strerror}"))
                continue
            attributes = getattr(st, "st_file_attributes", 0)
            if stat.S_ISLNK(st.st_mode):
                problems.append((child.path, "is a symbolic link; the updater never makes links"))
                continue
            if attributes & FILE_ATTRIBUTE_REPARSE_POINT:
                problems.append((child.path, "is a link or junction; the updater never makes "
                                             "links"))
                continue
            if not (stat.S_ISDIR(st.st_mode) or stat.S_ISREG(st.st_mode)):
                problems.append((child.path, "is neither a regular file nor a folder"))
                continue
            is_folder = stat.S_ISDIR(st.st_mode)
            name = prefix + child.name + ("/" if is_folder else "")
            try:
                stored, flags = check_entry_name(name, names, install_dir_length)
                if not is_folder and st.st_size >= FILE_SIZE_LIMIT:
                    raise Refusal(f"is {st.st_size} bytes; files of 4 GiB or more need "
                                  "ZIP64, which update archives do without")
                key = windows_case_key(name)
                if key in seen:
                    raise Refusal(f"has the same name on Windows as {seen[key]} (Windows "
                                  "does not tell upper from lower case)")
                seen[key] = child.path
                if "read-only" not in allowed and not is_folder and is_read_only(st):
                    raise Refusal("is read-only: once installed, the updater can never replace "
                                  "it, and every later update that carries it fails; make it "
                                  "writable, or pack with --allow read-only")
            except Refusal as refusal:
                problems.append((child.path, str(refusal)))
            else:
                entries.append(Entry(name, child.path, st, stored, flags))
            if is_folder:
                visit(child.path, name)

    visit(source, "")
    problems += release_problems(source, allowed)
    if len(entries) > MAX_ENTRIES:
        problems.append((source, f"holds {len(entries)} files and folders; an update archive "
                                 f"holds at most {MAX_ENTRIES}"))
    return entries, problems


def previous_names(previous):
    """The names a previous release carried, '/'-separated, folders ending
    in '/' (also those only implied by the names below them): from its
    folder, or from its archive."""
    names = set()
    if os.path.isdir(previous):
        for folder, dirs, files in os.walk(previous):
            prefix = os.path.relpath(folder, previous).replace(os.sep, "/")
            prefix = "" if prefix == "." else prefix + "/"
            names.update(prefix + d + "/" for d in dirs)
            names.update(prefix + f for f in files)
    else:
        with zipfile.ZipFile(previous) as z:
            for info in z.infolist():
                name = info.filename
                if not info.flag_bits & UTF8_NAME_FLAG and not name.isascii():
                    # zipfile reads unflagged names as code page 437; ours
                    # are UTF-8 or code page 936.
                    raw = name.encode("cp437")
                    try:
                        name = raw.decode("utf-8")
                    except UnicodeDecodeError:
                        name = raw.decode("gbk", "replace")
                name = name.replace("\\", "/")
                while name.startswith("./"):
                    name = name[2:]
                if name:
                    names.add(name)
        for name in list(names):
            parts = name.rstrip("/").split("/")
            names.update("/".join(parts[:i]) + "/" for i in range(1, len(parts)))
    names.discard(DROP_LIST_NAME)
    return names


def dropped_names(previous, entries):
    """What the previous releases carried and this one does not, compared as
    Windows compares names (a file that only changed case is kept), each
    folder after what it holds."""
    carried = {windows_case_key(entry.name) for entry in entries}
    dropped = [name for name in previous if windows_case_key(name) not in carried]
    return sorted(dropped, reverse=True)


def drop_list_entry(source, dropped, entries, folder):
    """The drop list of `dropped` as an entry, its file written into `folder`;
    or a Refusal when the release itself holds a file of its name."""
    if any(windows_case_key(entry.name) == windows_case_key(DROP_LIST_NAME)
           for entry in entries):
        raise Refusal(f"{source}: holds {DROP_LIST_NAME}, the name the list of dropped "
                      "files is packed under")
    path = os.path.join(folder, DROP_LIST_NAME)
    with open(path, "wb") as out:
        out.write("".join(name + "\n" for name in dropped).encode())
    stored, flags = check_entry_name(DROP_LIST_NAME)
    return Entry(DROP_LIST_NAME, path, os.stat(path), stored, flags)


def is_read_only(st):
    _, external = entry_attributes(st.st_mode, getattr(st, "st_file_attributes", 0))
    return bool(external & DOS_READ_ONLY)


def release_problems(source, allowed):
    """What is wrong with the release as a whole: nothing in it, or one folder
    holding everything, which the updater would install below the program
    folder instead of into it."""
    try:
        children = list(os.scandir(source))
    except OSError:
        return []  # the walk has said why
    if not children and "empty" not in allowed:
        return [(source, "is empty: the update would change nothing (pack with --allow empty "
                         "to make such an archive on purpose)")]
    if (len(children) == 1 and children[0].is_dir(follow_symlinks=False)
            and "wrapping-folder" not in allowed):
        top = children[0].name
        return [(source, f"holds only the folder {top}/: the updater would install into {top}/ "
                         f"below the program folder and update nothing; pack {children[0].path} "
                         "instead, or pack with --allow wrapping-folder when the program folder "
                         "has that folder")]
    return []


def local_header(entry, method, version, date, clock, extra):
    """The local header with CRC and sizes left zero, patched after the data."""
    return struct.pack("<IHHHHHIIIHH", 0x04034B50, version, entry.flags, method, clock, date,
                       0, 0, 0, len(entry.stored), len(extra)) + entry.stored + extra


def central_header(entry, record):
    method, version, date, clock, extra, crc, packed, size, offset = record
    host, external = entry_attributes(entry.st.st_mode, getattr(entry.st, "st_file_attributes", 0))
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, (host << 8) | VERSION_MADE_BY, version,
                       entry.flags, method, clock, date, crc, packed, size, len(entry.stored),
                       len(extra), 0, 0, 0, external, offset) + entry.stored + extra


def check_archive_size(size, entry):
    if size >= ARCHIVE_SIZE_LIMIT:
        raise Refusal(f"the archive would reach 2 GiB while packing {entry.path}; "
                      "update archives stay below that (no ZIP64)")


def copy_deflated(entry, out):
    """Deflates the file into `out`: (CRC, packed size, size)."""
    compressor = zlib.compressobj(zlib.Z_DEFAULT_COMPRESSION, zlib.DEFLATED, -15)
    crc = packed = size = 0
    with open(entry.path, "rb") as source:
        while True:
            chunk = source.read(READ_CHUNK)
            data = compressor.compress(chunk) if chunk else compressor.flush()
            crc = zlib.crc32(chunk, crc)
            size += len(chunk)
            packed += len(data)
            out.write(data)
            check_archive_size(out.tell(), entry)
            if size >= FILE_SIZE_LIMIT:
                raise Refusal(f"{entry.path} grew to 4 GiB while being packed")
            if not chunk:
                return crc, packed, size


def write_entry(entry, out):
    """Writes the entry's local header and data; its central record's fields."""
    offset = out.tell()
    date, clock, _ = dos_date_time(entry.seconds)
    extra = timestamp_block(entry.seconds) + unicode_path_block(entry)
    stored_only = entry.is_folder or entry.st.st_size == 0
    method = METHOD_STORED if stored_only else METHOD_DEFLATED
    version = 10 if stored_only and not entry.is_folder else 20
    out.write(local_header(entry, method, version, date, clock, extra))
    crc = packed = size = 0
    if not entry.is_folder:
        if stored_only:
            with open(entry.path, "rb") as source:
                if source.read(1):
                    raise Refusal(f"{entry.path} changed while being packed")
        else:
            crc, packed, size = copy_deflated(entry, out)
            out.seek(offset + 14)
            out.write(struct.pack("<III", crc, packed, size))
            out.seek(0, os.SEEK_END)
    return method, version, date, clock, extra, crc, packed, size, offset


def write_archive(entries, out):
    """Writes the whole archive; the total bytes of the files packed."""
    records = [write_entry(entry, out) for entry in entries]
    directory_offset = out.tell()
    for entry, record in zip(entries, records):
        out.write(central_header(entry, record))
    directory_size = out.tell() - directory_offset
    out.write(struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries),
                          directory_size, directory_offset, 0))
    if out.tell() >= ARCHIVE_SIZE_LIMIT:
        raise Refusal("the archive would reach 2 GiB; update archives stay below that "
                      "(no ZIP64)")
    return sum(record[7] for record in records)


def report(*parts):
    print(f"{PROGRAM}:", *parts, file=sys.stderr)


def pack(args):
    source, archive = args.source_dir, args.archive
    if not os.path.isdir(source):
        report(f"{source}: not a folder")
        return 1
    if os.path.isdir(archive):
        report(f"{archive}: is a folder; give the path of the archive to write")
        return 1
    inside = os.path.realpath(os.path.dirname(os.path.abspath(archive)))
    if (inside + os.sep).startswith(os.path.join(os.path.realpath(source), "")):
        report(f"{archive}: lies inside {source}; the archive would pack itself")
        return 1

    previous = None
    for given in args.previous:
        try:
            previous = (previous or set()) | previous_names(given)
        except (OSError, zipfile.BadZipFile) as error:
            report(f"{given}: cannot be read as a previous release: {error}")
            return 1
    entries, problems = collect_entries(source, args.names, args.install_dir_length, args.allow)
    for path, reason in problems:
        report(f"{path}: {reason}")
    if problems:
        report(f"refused {len(problems)} path(s); no archive written")
        return 1
    for entry in entries:
        warnings = name_warnings(entry.name) if args.names == "utf8" else []
        for warning in warnings + time_warnings(entry.seconds):
            report(f"warning: {entry.path}: {warning}")

    partial = archive + ".part"
    try:
        with tempfile.TemporaryDirectory(prefix="update-archive-") as folder:
            if previous is not None:
                dropped = dropped_names(previous, entries)
                entries.append(drop_list_entry(source, dropped, entries, folder))
            with open(partial, "wb") as out:
                total = write_archive(entries, out)
                archive_size = out.tell()
        os.replace(partial, archive)
    except (Refusal, OSError) as error:
        if isinstance(error, OSError):
            named = archive if error.filename in (None, partial) else error.filename
            error = f"{named}: {error.strerror or error}"
        report(f"{error}; no archive written")
        remove_quietly(partial)
        return 1
    except BaseException:
        remove_quietly(partial)
        raise
    if previous is not None:
        print(f"{archive}: {DROP_LIST_NAME} lists {len(dropped)} "
              "path(s) the previous release had and this one drops")
    folders = sum(entry.is_folder for entry in entries)
    print(f"{archive}: {len(entries)} entries ({len(entries) - folders} files, {folders} "
          f"folders), {total} bytes packed into {archive_size}")
    return 0


def remove_quietly(path):
    try:
        os.remove(path)
    except OSError:
        pass


def install_dir_length(text):
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if not 3 <= value <= MAX_PATH_BYTES - 2:
        raise argparse.ArgumentTypeError(f"must lie between 3 and {MAX_PATH_BYTES - 2}")
    return value


EXAMPLES = """\
examples:
  python3 tools/update_archive.py pack out/release dist/tavix-2.1.zip
  python3 tools/update_archive.py pack --names cp936 out/release dist/tavix-2.1.zip
  python3 tools/update_archive.py pack --install-dir-length 120 out/release dist/tavix-2.1.zip
  python3 tools/update_archive.py pack --previous dist/tavix-2.0.zip out/release dist/tavix-2.1.zip
"""

PACK_DESCRIPTION = """\
Packs every file and folder below SOURCE_DIR (not SOURCE_DIR itself) into the
update archive ARCHIVE: files deflated, with their modification times (DOS
time and a UT block), read-only/hidden attributes and Unix modes.

Refused, with the path and the reason, exit status 1 and no archive written:
names with '..', '\\' or characters Windows does not allow (: < > " | ? *,
control characters), names ending in a dot or space, Windows device names
(CON, NUL, COM0-COM9, ... with any extension), names code page 936 cannot
hold with --names cp936, names differing only in case, stored names of 260
bytes or more, paths too long below the program folder (counted in UTF-8, the
updater's code page: 3 bytes for a Chinese character), links and special
files, files of 4 GiB or more, more than 65535 entries, and archives that
would reach 2 GiB. A UTF-8 name that code page 936 cannot hold is packed with
a warning: Windows before 10 version 1903 refuses it.
Also refused unless accepted on purpose with --allow KIND (repeatable):
  read-only        read-only files: once installed, no later update can
                   replace them
  empty            an empty SOURCE_DIR: the update would change nothing
  wrapping-folder  a SOURCE_DIR holding one folder and nothing else: the
                   updater would install into that folder below the program
                   folder
"""


def build_parser():
    parser = argparse.ArgumentParser(
        prog=PROGRAM, formatter_class=argparse.RawDescriptionHelpFormatter,
        description="Makes update archives for the Tavix updater.", epilog=EXAMPLES)
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    packer = commands.add_parser(
        "pack", help="pack a release folder into an update archive",
        formatter_class=argparse.RawDescriptionHelpFormatter,
        description=PACK_DESCRIPTION, epilog=EXAMPLES)
    packer.add_argument("source_dir", metavar="SOURCE_DIR", help="the release folder to pack")
    packer.add_argument("archive", metavar="ARCHIVE", help="the archive to write (replaced)")
    packer.add_argument(
        "--names", choices=("utf8", "cp936"), default="utf8",
        help="how names are stored: utf8 (default; non-ASCII names flagged as "
             "UTF-8) or cp936 (GBK bytes for tools that read no other, with a Unicode "
             "Path block that gives every Windows the name in UTF-8)")
    packer.add_argument(
        "--install-dir-length", type=install_dir_length, default=DEFAULT_INSTALL_DIR_LENGTH,
        metavar="N",
        help="length in bytes of the program folder path on the users' machines, in UTF-8 "
             '(a Chinese character 3 bytes), e.g. len(r"C:\\Users\\someone\\AppData\\Local\\'
             'Tavix".encode()); paths longer than Windows allows below it are refused '
             f"(default: {DEFAULT_INSTALL_DIR_LENGTH})")
    packer.add_argument(
        "--allow", action="append", choices=ALLOW_KINDS, default=[], metavar="KIND",
        help="accept one kind of release that is refused by default: "
             f"{', '.join(ALLOW_KINDS)} (repeatable)")
    packer.add_argument(
        "--previous", action="append", default=[], metavar="PATH",
        help="a previous release, its folder or its archive (repeatable: give every release "
             "a user may still have, as users skip versions): what they carried and this "
             f"release does not is listed in {DROP_LIST_NAME}, packed with the release "
             "(UTF-8, one path per line, '/' separators, folders ending in '/')")
    packer.set_defaults(run=pack)
    return parser


def main(argv=None):
    for stream in (sys.stdout, sys.stderr):
        if hasattr(stream, "reconfigure"):
            stream.reconfigure(errors="backslashreplace")
    args = build_parser().parse_args(argv)
    try:
        return args.run(args)
    except KeyboardInterrupt:
        report("interrupted; no archive written")
        return 130


if __name__ == "__main__":
    sys.exit(main())
