"""Packs the sample release in examples/update into an update archive, the way
a release build would: fixed file times and an empty folder for logs."""

import os
import sys
import zipfile

RELEASE_TIME = (2026, 11, 30, 9, 30, 0)


def main(source, archive):
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        for folder, _, files in sorted(os.walk(source)):
            for name in sorted(files):
                path = os.path.join(folder, name)
                info = zipfile.ZipInfo(os.path.relpath(path, source), RELEASE_TIME)
                info.create_system = 3
                info.external_attr = 0o100644 << 16
                info.compress_type = zipfile.ZIP_DEFLATED
                with open(path, "rb") as f:
                    z.writestr(info, f.read())
        z.writestr(zipfile.ZipInfo("logs/", RELEASE_TIME), b"")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
