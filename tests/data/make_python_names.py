"""Writes python_names.zip: a GBK-named entry (raw bytes, no UTF-8 flag) and a
UTF-8-named one (flag 0x800), with fixed dates so the output is the same on
every run. Usage: python3 make_python_names.py OUTPUT.zip"""
import sys
import zipfile

GBK_NAME = "升级说明.txt".encode("gbk")
UTF8_NAME = "更新/日志.txt"


class RawNameInfo(zipfile.ZipInfo):
    """Stores the name's bytes as given, without the UTF-8 flag."""

    def __init__(self, raw_name, date_time):
        super().__init__(raw_name.decode("latin-1"), date_time)
        self.raw_name = raw_name

    def _encodeFilenameFlags(self):
        return self.raw_name, self.flag_bits


with zipfile.ZipFile(sys.argv[1], "w") as archive:
    info = RawNameInfo(GBK_NAME, (2024, 5, 6, 7, 8, 10))
    info.compress_type = zipfile.ZIP_DEFLATED
    archive.writestr(info, "Tavix 升级说明\r\n".encode("gbk") * 20)
    info = zipfile.ZipInfo(UTF8_NAME, (2024, 5, 6, 7, 8, 12))
    info.compress_type = zipfile.ZIP_STORED
    archive.writestr(info, "更新日志 v1.0\n".encode("utf-8"))
