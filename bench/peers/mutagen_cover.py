# SPDX-License-Identifier: MIT
# The mutagen peer of the benchmark (its API, one process for all files):
#   mutagen_cover.py add COVER FILE... | remove FILE... | info FILE... | --version
import sys

from mutagen.id3 import APIC, ID3, ID3NoHeaderError, PictureType


def main(argv):
    if argv[1:2] == ["--version"]:
        import mutagen
        print(mutagen.version_string)
        return 0
    job, rest = argv[1], argv[2:]
    cover = None
    if job == "add":
        with open(rest[0], "rb") as f:
            cover = f.read()
        rest = rest[1:]
    for path in rest:
        try:
            tags = ID3(path)
        except ID3NoHeaderError:
            tags = ID3()
        if job == "info":
            print(path, tags.get("TIT2"), tags.get("TPE1"), sep="\t")
            continue
        if job == "remove":
            tags.delall("APIC")
        else:
            for key in [k for k, v in tags.items() if k.startswith("APIC") and v.type == PictureType.COVER_FRONT]:
                del tags[key]
            tags.add(APIC(encoding=0, mime="image/jpeg", type=PictureType.COVER_FRONT, desc="", data=cover))
        tags.save(path, v2_version=3, v1=1)
    return 0


sys.exit(main(sys.argv))
