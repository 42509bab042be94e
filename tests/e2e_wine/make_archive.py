"""Writes a test update archive for the Wine end-to-end test:

    make_archive.py ZIP ENTRIES

ENTRIES is a Python expression (the test's own text, so a data string may be
written as 'text' * 1000): a list of (name, data, DOS attributes or None,
Unix mode or None). A name starting with "gbk:" is stored as the GBK bytes
of the rest without the UTF-8 flag, as a Chinese Windows zip tool writes it.
Entry i is dated 2026-03-01 12:00:(2*i)."""

import sys
import zipfile


def main(path, literal):
    entries = eval(literal, {"__builtins__": {}})
    swaps = []
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for i, (name, data, dos, mode) in enumerate(entries):
            if name.startswith("gbk:"):
                wanted = name[4:].encode("gbk")
                # zipfile writes only ASCII or UTF-8 names: an ASCII stand-in
                # of the same length is swapped for the GBK bytes afterwards.
                name = ("gbk%d_" % i).ljust(len(wanted), "x")
                swaps.append((name.encode(), wanted))
            info = zipfile.ZipInfo(name, date_time=(2026, 3, 1, 12, 0, 2 * i))
            info.compress_type = zipfile.ZIP_DEFLATED
            if dos is not None:
                info.create_system = 0
                info.external_attr = dos
            elif mode is not None:
                info.create_system = 3
                info.external_attr = mode << 16
            z.writestr(info, data)
    raw = open(path, "rb").read()
    for placeholder, wanted in swaps:
        assert raw.count(placeholder) == 2, placeholder  # local and central header
        raw = raw.replace(placeholder, wanted)
    open(path, "wb").write(raw)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
