#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""mutagen_tag.py FILE RECIPE.json: writes the tags described by RECIPE into FILE with mutagen.

Fixtures written by a peer, so that our reader is tested on tags it did not write itself.
Run with /usr/bin/python3 (the interpreter that sees python3-mutagen). RECIPE is one JSON object;
every part is optional (see tests/interop/README.md for the full description):

  {"id3v2": {"version": 2|3|4, "padding": 0, "frames": [
      {"id": "TIT2", "text": "Title" | ["a", "b"], "encoding": 0..3},
      {"id": "TXXX", "desc": "KEY", "text": ["v1", "v2"]},
      {"id": "COMM", "lang": "eng", "desc": "", "text": "..."},   (USLT alike)
      {"id": "APIC", "type": 3, "mime": "image/jpeg", "desc": "", "file": "cover.jpg" | "data_hex": "ffd8"},
      {"id": "PRIV", "owner": "x", "data_hex": "0102"},
      {"id": "MCDI", "data_hex": "..."},
      {"id": "WXXX", "desc": "", "url": "..."}, {"id": "WOAR", "url": "..."}]},
   "id3v1": {"title": "", "artist": "", "album": "", "year": "", "comment": "", "track": 0, "genre": 255},
   "ape": {"items": [{"key": "Title", "text": "x" | ["a", "b"]},
                     {"key": "Cover Art (Front)", "binary_hex": "..." | "binary_file": "..."},
                     {"key": "Homepage", "external": "http://..."}]},
   "xiph": {"fields": [["TITLE", "x"], ...],
            "pictures": [{"type": 3, "mime": "image/jpeg", "desc": "", "width": 0, "height": 0,
                          "file": "..." | "data_hex": "..."}]}}

"id3v2" replaces the file's ID3v2 tag; versions 3 and 4 are mutagen's own writer, version 2 (which
mutagen cannot save) renders each frame with mutagen's 2.2 frame classes and adds the 2.2 header
here. Without "padding" mutagen chooses. "id3v1" replaces the ID3v1 record (mutagen's MakeID3v1;
a genre of 255 means none), null removes it, absent keeps it. "ape" replaces the APEv2 tag (written
before the ID3v1 record). "xiph" replaces the comments (and pictures) of a FLAC or Ogg Vorbis file.
Text encodings default to UTF-16 (1) for 2.2/2.3 and UTF-8 (3) for 2.4. A 2.3 tag joins the
values of a multi-value frame with "/" (mutagen's default); "v23_separator": null keeps them
apart with the encoding's terminator (2.2 alike).
Exit status: 0 written, 1 error (message on stderr), 2 usage.
"""
import base64
import json
import os
import struct
import sys

import mutagen.id3 as id3
from mutagen.apev2 import APEv2, APEValue, TEXT, BINARY, EXTERNAL
from mutagen.id3._tags import ID3SaveConfig

# 2.3/2.4 identifiers and their 2.2 counterparts, for the frames the tests write.
V22_IDS = {
    "TIT1": "TT1", "TIT2": "TT2", "TIT3": "TT3", "TPE1": "TP1", "TPE2": "TP2", "TPE3": "TP3",
    "TPE4": "TP4", "TALB": "TAL", "TRCK": "TRK", "TPOS": "TPA", "TCON": "TCO", "TYER": "TYE",
    "TCOM": "TCM", "TENC": "TEN", "TCOP": "TCR", "TBPM": "TBP", "TLEN": "TLE", "TSSE": "TSS",
    "TXXX": "TXX", "COMM": "COM", "USLT": "ULT", "APIC": "PIC", "MCDI": "MCI", "WXXX": "WXX",
    "WOAR": "WAR", "WCOM": "WCM", "WCOP": "WCP", "WOAF": "WAF", "WOAS": "WAS", "WPUB": "WPB",
}
V22_IMAGE_FORMATS = {"image/jpeg": "JPG", "image/jpg": "JPG", "image/png": "PNG", "image/gif": "GIF",
                     "image/bmp": "BMP"}


def data_of(entry, hex_key="data_hex", file_key="file"):
    if file_key in entry:
        with open(entry[file_key], "rb") as f:
            return f.read()
    return bytes.fromhex(entry.get(hex_key, ""))


def texts(value):
    return value if isinstance(value, list) else [value]


def make_frame(entry, version):
    fid = entry["id"]
    enc = entry.get("encoding", 3 if version == 4 else 1)
    if fid == "TXXX":
        return id3.TXXX(encoding=enc, desc=entry.get("desc", ""), text=texts(entry.get("text", "")))
    if fid in ("COMM", "USLT"):
        cls = id3.COMM if fid == "COMM" else id3.USLT
        text = entry.get("text", "")
        return cls(encoding=enc, lang=entry.get("lang", "eng"), desc=entry.get("desc", ""),
                   text=texts(text) if fid == "COMM" else text)
    if fid == "APIC":
        return id3.APIC(encoding=enc, mime=entry.get("mime", "image/jpeg"), type=entry.get("type", 3),
                        desc=entry.get("desc", ""), data=data_of(entry))
    if fid == "PRIV":
        return id3.PRIV(owner=entry.get("owner", ""), data=data_of(entry))
    if fid == "MCDI":
        return id3.MCDI(data=data_of(entry))
    if fid == "WXXX":
        return id3.WXXX(encoding=enc, desc=entry.get("desc", ""), url=entry["url"])
    if fid.startswith("W"):
        return id3.Frames[fid](url=entry["url"])
    if fid.startswith("T") and fid in id3.Frames:
        return id3.Frames[fid](encoding=enc, text=texts(entry.get("text", "")))
    raise ValueError("mutagen_tag.py cannot write frame %r" % fid)


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def render_v22(frames, padding, separator):
    """A 2.2 tag: each frame is one of mutagen's 2.2 frame classes, rendered by mutagen."""
    config = ID3SaveConfig(3, separator)
    body = b""
    for frame in frames:
        fid = frame.FrameID
        if fid not in V22_IDS:
            raise ValueError("frame %s has no 2.2 form" % fid)
        cls = id3.Frames_2_2[V22_IDS[fid]]
        if fid == "APIC":
            v22 = cls(encoding=frame.encoding, mime=V22_IMAGE_FORMATS.get(frame.mime.lower(), frame.mime[-3:].upper()),
                      type=frame.type, desc=frame.desc, data=frame.data)
        else:
            v22 = cls(**{field.name: getattr(frame, field.name) for field in frame._framespec})
        data = v22._writeData(config)
        if len(data) >= 1 << 24:
            raise ValueError("frame too large for 2.2")
        body += V22_IDS[fid].encode("ascii") + struct.pack(">I", len(data))[1:] + data
    body += b"\x00" * (padding if padding is not None else 1024)
    return b"ID3\x02\x00\x00" + syncsafe(len(body)) + body


def write_id3v2(path, recipe):
    version = recipe.get("version", 4)
    if version not in (2, 3, 4):
        raise ValueError("ID3v2 version must be 2, 3 or 4")
    frames = [make_frame(entry, version) for entry in recipe.get("frames", [])]
    padding = recipe.get("padding")
    if version == 2:
        tag = render_v22(frames, padding, recipe.get("v23_separator", "/"))
        id3.delete(path, delete_v1=False, delete_v2=True)
        with open(path, "rb") as f:
            audio = f.read()
        with open(path, "wb") as f:
            f.write(tag + audio)
        return
    tags = id3.ID3()
    for frame in frames:
        tags.add(frame)
    kwargs = {}
    if "v23_separator" in recipe:
        kwargs["v23_sep"] = recipe["v23_separator"]
    if padding is not None:
        kwargs["padding"] = lambda info: padding
    tags.save(path, v1=id3.ID3v1SaveOptions.REMOVE, v2_version=version, **kwargs)


def make_id3v1(recipe):
    frames = {}
    for key, fid in (("title", "TIT2"), ("artist", "TPE1"), ("album", "TALB")):
        if recipe.get(key):
            frames[fid] = id3.Frames[fid](encoding=0, text=[recipe[key]])
    if recipe.get("year"):
        frames["TDRC"] = id3.TDRC(encoding=0, text=[recipe["year"]])
    if recipe.get("comment"):
        frames["COMM"] = id3.COMM(encoding=0, lang="eng", desc="", text=[recipe["comment"]])
    if recipe.get("track"):
        frames["TRCK"] = id3.TRCK(encoding=0, text=[str(recipe["track"])])
    genre = recipe.get("genre", 255)
    if genre != 255:
        frames["TCON"] = id3.TCON(encoding=0, text=[id3.TCON.GENRES[genre]])
    return id3.MakeID3v1(frames)


def take_id3v1(path):
    """Cuts the ID3v1 record off the file and returns it (None when there is none)."""
    with open(path, "r+b") as f:
        f.seek(0, 2)
        size = f.tell()
        if size < 128:
            return None
        f.seek(size - 128)
        record = f.read(128)
        if not record.startswith(b"TAG"):
            return None
        f.truncate(size - 128)
        return record


def write_ape(path, recipe):
    tag = APEv2()
    for item in recipe.get("items", []):
        key = item["key"]
        if "text" in item:
            tag[key] = APEValue("\0".join(texts(item["text"])), TEXT)
        elif "external" in item:
            tag[key] = APEValue(item["external"], EXTERNAL)
        else:
            tag[key] = APEValue(data_of(item, "binary_hex", "binary_file"), BINARY)
    tag.save(path)


def write_xiph(path, recipe):
    from mutagen.flac import FLAC, Picture
    with open(path, "rb") as f:
        magic = f.read(4)
    pictures = []
    for entry in recipe.get("pictures", []):
        p = Picture()
        p.type = entry.get("type", 3)
        p.mime = entry.get("mime", "image/jpeg")
        p.desc = entry.get("desc", "")
        p.width = entry.get("width", 0)
        p.height = entry.get("height", 0)
        p.depth = entry.get("depth", 24)
        p.data = data_of(entry)
        pictures.append(p)
    if magic == b"OggS":
        from mutagen.oggvorbis import OggVorbis
        f = OggVorbis(path)
        f.tags.clear()
        for key, value in recipe.get("fields", []):
            f.tags.append((key, value))
        for p in pictures:
            f.tags.append(("METADATA_BLOCK_PICTURE", base64.b64encode(p.write()).decode("ascii")))
    else:
        f = FLAC(path)
        if f.tags is None:
            f.add_tags()
        f.tags.clear()
        for key, value in recipe.get("fields", []):
            f.tags.append((key, value))
        f.clear_pictures()
        for p in pictures:
            f.add_picture(p)
    f.save()


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: mutagen_tag.py FILE RECIPE.json\n")
        return 2
    path, recipe_path = argv[1], argv[2]
    try:
        with open(recipe_path, encoding="utf-8") as f:
            recipe = json.load(f)
        if "xiph" in recipe:
            write_xiph(path, recipe["xiph"])
        if any(k in recipe for k in ("id3v2", "id3v1", "ape")):
            record = take_id3v1(path)
            if "id3v1" in recipe:
                record = make_id3v1(recipe["id3v1"]) if recipe["id3v1"] is not None else None
            if "id3v2" in recipe:
                write_id3v2(path, recipe["id3v2"])
            if "ape" in recipe:
                write_ape(path, recipe["ape"])
            if record is not None:
                with open(path, "ab") as f:
                    f.write(record)
    except Exception as e:  # the test prints this message
        sys.stderr.write("mutagen_tag.py: %s: %s\n" % (type(e).__name__, e))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
