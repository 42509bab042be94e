"""Times the updater against the tools people would use instead, side by
side in one run, and writes the tables.

Each archive is unpacked into a fresh folder by every tool in turn (the
order rotates every round), after one warm-up round whose output is checked
byte for byte; every later run is checked for the right files and sizes.
Wall time is taken around the process, peak resident memory by
/usr/bin/time (its %M, the maximum resident set size).
Usually started by run.sh, which builds what it needs first.
"""

import argparse
import datetime
import hashlib
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time
import zipfile
import zlib

ARCHIVES = [
    ("typical", "typical update"),
    ("small", "small files"),
    ("scale2000", "scaling, 2000 entries"),
]
# The durable pairs also over an install: each tool's folder holds the same
# version already (every file replaced), put there and synced untimed.
OVER_INSTALL = [
    ("typical-over", "typical update, over an install"),
    ("small-over", "small files, over an install"),
]
# The 20000-entry half of the scaling pair is the small-files archive.
SCALE_PAIR = ("scale2000", "small")

PYTHON_EXTRACT = "import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])"


class Tool:
    def __init__(self, name, command, program=None):
        self.name = name
        self.command = command  # (archive, output folder) -> argv
        self.program = program  # an updater binary, placed in its output folder

    @property
    def is_updater(self):
        return self.program is not None


def other_tools():
    python = os.path.realpath(sys.executable)
    return [
        Tool("unzip", lambda a, o: ["unzip", "-q", "-o", a, "-d", o]),
        Tool("bsdtar", lambda a, o: ["bsdtar", "-xf", a, "-C", o]),
        Tool("7z", lambda a, o: ["7z", "x", "-y", "-o" + o, a]),
        Tool("python zipfile", lambda a, o: [python, "-c", PYTHON_EXTRACT, a, o]),
    ]


def durable_tools():
    """bsdtar and unzip, run as in other_tools, as they must be used to be as
    safe as the updater on a disk: followed by `sync` of the file system they
    wrote to."""
    commands = {tool.name: tool.command for tool in other_tools()}
    return [Tool(name + " + sync",
                 lambda a, o, command=commands[name]:
                 ["sh", "-c", '"$@" && exec sync -f "$0"', o] + command(a, o))
            for name in ("bsdtar", "unzip")]


def updater_tool(name, binary):
    return Tool(name, lambda a, o: [os.path.join(o, os.path.basename(binary)), a], binary)


def tool_environment():
    env = dict(os.environ, LC_ALL="C.UTF-8", TZ="UTC")
    # Without a display the updater asks on the terminal, answered "n" below.
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    return env


def expected_listing(archive):
    """Files (name -> size, CRC) and folders an extraction must produce."""
    files, folders = {}, set()
    with zipfile.ZipFile(archive) as z:
        for info in z.infolist():
            name = info.filename.rstrip("/")
            if info.is_dir():
                folders.add(name)
            else:
                files[name] = (info.file_size, info.CRC)
            parts = name.split("/")
            for depth in range(1, len(parts)):
                folders.add("/".join(parts[:depth]))
    return files, folders


def check_output(folder, expected, skip, full):
    """None when the folder holds exactly the expected tree, else why not."""
    files, folders = expected
    seen_files, seen_folders = {}, set()
    for here, dirs, names in os.walk(folder):
        relative = os.path.relpath(here, folder)
        for d in dirs:
            seen_folders.add(os.path.normpath(os.path.join(relative, d)))
        for n in names:
            path = os.path.normpath(os.path.join(relative, n))
            if path not in skip:
                seen_files[path] = os.path.getsize(os.path.join(folder, path))
    if seen_folders != folders:
        return "folders differ (%d expected, %d found)" % (len(folders), len(seen_folders))
    if seen_files.keys() != files.keys():
        return "files differ (%d expected, %d found)" % (len(files), len(seen_files))
    for path, (size, crc) in files.items():
        if seen_files[path] != size:
            return "%s: %d bytes, expected %d" % (path, seen_files[path], size)
        if full:
            with open(os.path.join(folder, path), "rb") as f:
                if zlib.crc32(f.read()) != crc:
                    return "%s: content differs" % path
    return None


def install_into(archive, out):
    """The archive's files in `out` and on the disk, untimed: the install an
    update goes over."""
    subprocess.run(["bsdtar", "-xf", archive, "-C", out], check=True)
    subprocess.run(["sync", "-f", out], check=True)


def run_once(tool, archive, work, serial, over_install=False, settle=0):
    """Unpacks `archive` once with `tool` into a fresh folder, or with
    `over_install` into one that holds the same version already: (seconds,
    peak RSS in KiB, output folder). The updater gets a hard link to the
    archive, since a successful run deletes it. `settle` seconds pass,
    untimed, before the run: the disk's work for what ran before (the last
    output deleted, this install written) is done by then, as on a machine
    where an update is the only thing that runs, and ext4 no longer counts
    the inodes freed before as recently deleted (it skips those for 60 s)."""
    out = os.path.join(work, "out", "%s-%d" % (tool.name.replace(" ", "_"), serial))
    os.makedirs(out)
    if over_install:
        install_into(archive, out)
    given = archive
    if tool.is_updater:
        shutil.copy2(tool.program, out)
        given = os.path.join(work, "stage-%d.zip" % serial)
        os.link(archive, given)
    time.sleep(settle)
    # The peak RSS of a child forked from this (large) process would include
    # ours, since the high-water mark survives exec: /usr/bin/time forks the
    # tool from a small process instead.
    rss_file = os.path.join(work, "rss-%d" % serial)
    argv = ["/usr/bin/time", "-q", "-f", "%M", "-o", rss_file] + tool.command(given, out)
    start = time.perf_counter()
    done = subprocess.run(argv, input=b"n\n", stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                          env=tool_environment(), cwd=work)
    seconds = time.perf_counter() - start
    if done.returncode != 0:
        raise RuntimeError("%s exited with %d: %s" % (
            tool.name, done.returncode, done.stderr.decode(errors="replace").strip()))
    if tool.is_updater and os.path.exists(given):
        raise RuntimeError("%s kept the archive: the update did not go through" % tool.name)
    with open(rss_file) as f:
        rss = int(f.read().split()[-1])
    os.remove(rss_file)
    return seconds, rss, out


def measure_archive(tools, archive, work, runs, over_install=False, settle=0):
    expected = expected_listing(archive)
    samples = {tool.name: [] for tool in tools}
    serial = 0
    for round_number in range(runs + 1):
        shift = round_number % len(tools)
        for tool in tools[shift:] + tools[:shift]:
            serial += 1
            seconds, rss, out = run_once(tool, archive, work, serial, over_install,
                                         settle if round_number > 0 else 0)
            skip = {os.path.basename(tool.program)} if tool.is_updater else set()
            problem = check_output(out, expected, skip, full=round_number == 0)
            shutil.rmtree(out)
            if problem:
                raise RuntimeError("%s on %s: %s" % (tool.name, os.path.basename(archive), problem))
            if round_number > 0:
                samples[tool.name].append((seconds, rss))
    return samples


def measure_pairs(tools, archive, work, runs, over_install=False, settle=0):
    """Like measure_archive, but also the ratio of the first tool to each
    other one, round by round: (samples, {other: [ratios]})."""
    samples = measure_archive(tools, archive, work, runs, over_install, settle)
    first = tools[0].name
    ratios = {tool.name: [a[0] / b[0] for a, b in zip(samples[first], samples[tool.name])]
              for tool in tools[1:]}
    return samples, ratios


def stage_archive(archives, key, work):
    """Makes `work` afresh with a copy of archive `key` in it; gives its path."""
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    archive = os.path.join(work, key + ".zip")
    shutil.copyfile(os.path.join(archives, key + ".zip"), archive)
    return archive


def measure_floor(floor, archive, runs):
    output = subprocess.run([floor, archive, str(runs + 1)], check=True, capture_output=True,
                            text=True).stdout.split()
    return statistics.median(float(s) for s in output[1:])


def describe_archive(path):
    with zipfile.ZipFile(path) as z:
        infos = z.infolist()
    with open(path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    return {
        "entries": len(infos),
        "folders": sum(1 for i in infos if i.is_dir()),
        "unpacked": sum(i.file_size for i in infos),
        "size": os.path.getsize(path),
        "sha256": digest,
    }


def summarise(samples):
    times = sorted(s for s, _ in samples)
    return {
        "median": statistics.median(times),
        "min": times[0],
        "max": times[-1],
        "rss": statistics.median(r for _, r in samples),
        "runs": len(times),
    }


def first_line(argv):
    try:
        done = subprocess.run(argv, capture_output=True, text=True)
    except OSError:
        return "not found"
    for line in (done.stdout + done.stderr).splitlines():
        if line.strip():
            return line.strip()
    return ""


def machine_description():
    model = "unknown CPU"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as f:
        memory = int(f.readline().split()[1]) / 1024 / 1024
    return "%s, %d cores, %.0f GiB RAM, Linux %s" % (model, os.cpu_count(), memory,
                                                     platform.release())


def tool_versions():
    return {
        "unzip": first_line(["unzip", "-v"]),
        "bsdtar": first_line(["bsdtar", "--version"]),
        "7z": next((l for l in subprocess.run(["7z"], capture_output=True, text=True).stdout
                    .splitlines() if "7-Zip" in l or "p7zip" in l), "?").strip(),
        "python zipfile": "Python %s, zlib %s" % (platform.python_version(),
                                                  zlib.ZLIB_RUNTIME_VERSION),
    }


def ratio_text(value, others):
    name, best = min(others.items(), key=lambda item: item[1])
    return "%.2fx (%s)" % (value / best, name)


def archive_table(label, info, results, floor):
    lines = [
        "#### %s: %d entries (%d folders), %.1f MB unpacked, %.1f MB archive" % (
            label, info["entries"], info["folders"], info["unpacked"] / 1e6, info["size"] / 1e6),
        "",
        "| Tool | Median wall (s) | Range (s) | vs fastest other tool | Peak RSS (MiB) |",
        "|---|---:|---:|---:|---:|",
    ]
    medians = {name: r["median"] for name, r in results.items()}
    for name, r in results.items():
        others = {n: m for n, m in medians.items() if n != name and not n.startswith("updater")}
        lines.append("| %s | %.3f | %.3f-%.3f | %s | %.2f |" % (
            name, r["median"], r["min"], r["max"], ratio_text(r["median"], others),
            r["rss"] / 1024))
    lines.append("| zlib floor: inflate + CRC in memory | %.3f | | | |" % floor)
    lines.append("")
    return lines


def targets_table(results):
    lines = [
        "| Archive | Updater | Wall time / fastest other tool (target <= 0.90) | Peak RSS vs lowest other tool (MiB) |",
        "|---|---|---:|---:|",
    ]
    for key, label in ARCHIVES[:2]:
        r = results[key]
        others = {n: v for n, v in r.items() if not n.startswith("updater")}
        fastest = min(others, key=lambda n: others[n]["median"])
        leanest = min(others, key=lambda n: others[n]["rss"])
        for name, mine in r.items():
            if not name.startswith("updater"):
                continue
            ratio = mine["median"] / others[fastest]["median"]
            lines.append("| %s | %s | %.2f (%s %.3f s): %s | %.2f vs %.2f (%s): %s |" % (
                label, name, ratio, fastest, others[fastest]["median"],
                "met" if ratio <= 0.9 else "NOT met", mine["rss"] / 1024,
                others[leanest]["rss"] / 1024, leanest,
                "met" if mine["rss"] < others[leanest]["rss"] else "NOT met"))
    lines.append("")
    return lines


def scaling_table(info, results):
    low, high = SCALE_PAIR
    n_low, n_high = info[low]["entries"], info[high]["entries"]
    lines = [
        "| Tool | %d entries (s) | %d entries (s) | us per entry at %d | us per entry at %d | ratio |" % (
            n_low, n_high, n_low, n_high),
        "|---|---:|---:|---:|---:|---:|",
    ]
    for name in results[high]:
        a, b = results[low][name]["median"], results[high][name]["median"]
        per_low, per_high = a / n_low * 1e6, b / n_high * 1e6
        lines.append("| %s | %.3f | %.3f | %.1f | %.1f | %.2f |" % (
            name, a, b, per_low, per_high, per_high / per_low))
    lines.append("")
    return lines


def durable_table(info, durable):
    """The updater, which flushes, against tools that sync once at their end."""
    lines = [
        "| Archive | Tool | Median wall (s) | ms per file | Updater / this tool (median of pairs) |",
        "|---|---|---:|---:|---:|",
    ]
    for key, results in durable.items():
        label = dict(ARCHIVES + OVER_INSTALL)[key]
        archive = key[:-len("-over")] if key.endswith("-over") else key
        files = info[archive]["entries"] - info[archive]["folders"]
        for name, r in results["summary"].items():
            pairs = results["ratios"].get(name)
            lines.append("| %s | %s | %.3f | %.3f | %s |" % (
                label, name, r["median"], r["median"] / files * 1e3,
                "%.2f (%.2f-%.2f)" % (statistics.median(pairs), min(pairs), max(pairs))
                if pairs else ""))
    lines.append("")
    return lines


def report(args, info, storage_results, floors, started, loads, durable=None):
    lines = [
        "Made by `%s` on %s UTC." % (args.command, started.strftime("%Y-%m-%d %H:%M")),
        "",
        "- Machine: %s." % machine_description(),
        "- Load average (1 min) before and after: %.2f and %.2f." % loads,
        "- Runs: %d timed runs per tool and archive after one warm-up round; tools alternate, "
        "the order rotating every round. Median wall time; range = fastest to slowest run; "
        "peak RSS = median of the runs' maximum resident set size." % args.runs,
        "- Tools: %s." % "; ".join("%s: %s" % kv for kv in tool_versions().items()),
        "- Updaters: %s." % "; ".join("%s = %s" % (name, note) for name, note in args.notes),
        "- Archives (sha256): %s." % ", ".join(
            "%s.zip %s" % (key, info[key]["sha256"][:16]) for key, _ in ARCHIVES),
        "",
    ]
    first = True
    for storage, results in storage_results.items():
        lines.append("### %s" % storage)
        lines.append("")
        if first:
            lines.append("Targets:")
            lines.append("")
            lines += targets_table(results)
            first = False
        for key, label in ARCHIVES:
            lines += archive_table(label, info[key], results[key], floors[key])
        lines.append("Cost per entry, %s vs %s (\"small files\") archives:" % SCALE_PAIR)
        lines.append("")
        lines += scaling_table(info, results)
    if durable:
        label, results = durable
        lines.append("### %s, durable: every tool's files on the disk at its end" % label)
        lines.append("")
        if args.settle:
            lines.append("Every counted run started %g s after its folder was made and synced "
                         "(and the run before it deleted), untimed." % args.settle)
            lines.append("")
        lines += durable_table(info, results)
    return "\n".join(lines)


def write_doc(doc, text):
    begin, end = "<!-- bench-results:begin -->", "<!-- bench-results:end -->"
    with open(doc) as f:
        content = f.read()
    block = "%s\n%s\n%s" % (begin, text, end)
    if begin in content and end in content:
        head, rest = content.split(begin, 1)
        content = head + block + rest.split(end, 1)[1]
    else:
        content = content.rstrip("\n") + "\n\n" + block + "\n"
    with open(doc, "w") as f:
        f.write(content)


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--archives", required=True, help="folder with the generated archives")
    parser.add_argument("--floor", required=True, help="the zlib_floor program")
    parser.add_argument("--updater", nargs=3, action="append", required=True,
                        metavar=("NAME", "BINARY", "NOTE"), help="an updater build to time")
    parser.add_argument("--storage", nargs=2, action="append", required=True,
                        metavar=("LABEL", "WORK_FOLDER"), help="where to unpack; first one is the yardstick")
    parser.add_argument("--durable", nargs=2, metavar=("LABEL", "WORK_FOLDER"),
                        help="the first updater against bsdtar and unzip each followed by sync, "
                        "in pairs, on this (disk) folder")
    parser.add_argument("--settle", type=float, default=0,
                        help="seconds each durable run waits, untimed, before it starts")
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--doc", help="Markdown file whose results block is replaced")
    parser.add_argument("--json", help="raw results")
    parser.add_argument("--command", default="bash bench/run.sh")
    args = parser.parse_args()
    args.notes = [(name, note) for name, _, note in args.updater]
    return args


def main():
    args = parse_arguments()
    started = datetime.datetime.now(datetime.timezone.utc)
    load_before = os.getloadavg()[0]
    tools = [updater_tool(name, os.path.abspath(binary)) for name, binary, _ in args.updater]
    tools += other_tools()
    info, floors, storage_results = {}, {}, {}
    for key, _ in ARCHIVES:
        path = os.path.join(args.archives, key + ".zip")
        info[key] = describe_archive(path)
        floors[key] = measure_floor(args.floor, path, args.runs)
    for label, work in args.storage:
        results = {}
        for key, title in ARCHIVES:
            archive = stage_archive(args.archives, key, work)
            print("%s: %s ..." % (label, title), file=sys.stderr, flush=True)
            samples = measure_archive(tools, archive, work, args.runs)
            results[key] = {name: summarise(s) for name, s in samples.items()}
            for name, r in results[key].items():
                print("  %-32s %.3f s  %.2f MiB" % (name, r["median"], r["rss"] / 1024),
                      file=sys.stderr, flush=True)
        shutil.rmtree(work, ignore_errors=True)
        storage_results[label] = results
    durable = None
    if args.durable:
        label, work = args.durable
        results = {}
        for (key, title), over in [(a, False) for a in ARCHIVES[:2]] + [
                (a, True) for a in ARCHIVES[:2]]:
            archive = stage_archive(args.archives, key, work)
            print("%s, durable: %s%s ..." % (label, title, ", over an install" if over else ""),
                  file=sys.stderr, flush=True)
            samples, ratios = measure_pairs(tools[:1] + durable_tools(), archive, work, args.runs,
                                            over, args.settle)
            results[key + ("-over" if over else "")] = {
                "summary": {n: summarise(v) for n, v in samples.items()}, "ratios": ratios}
        shutil.rmtree(work, ignore_errors=True)
        durable = (label, results)
    text = report(args, info, storage_results, floors, started, (load_before, os.getloadavg()[0]),
                  durable)
    print(text)
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"info": info, "floors": floors, "results": storage_results,
                       "durable": durable}, f, indent=1)
    if args.doc:
        write_doc(args.doc, text)


if __name__ == "__main__":
    main()
