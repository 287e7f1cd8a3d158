#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""mutagen_dump.py FILE: prints, as one JSON object, what mutagen reads from an audio file.

A peer oracle for the interop tests. Same schema as taglib_dump (tests/interop/README.md):
  {"tool", "format", "valid", "id3v2", "id3v1", "ape", "xiph", "asf", "pictures", "audio"}
Parts the file lacks are null. ID3v2 frames are listed as stored in the file (no translation
to 2.4), in file order. Run with /usr/bin/python3 (the interpreter that sees python3-mutagen).
Exit status: 0 dumped, 1 the file could not be read, 2 usage.
"""
import hashlib
import json
import sys

import mutagen
from mutagen.apev2 import APEv2, APENoHeaderError, TEXT, BINARY, EXTERNAL
from mutagen.id3 import ID3, ID3NoHeaderError, ParseID3v1, TextFrame


def describe(error):
    return "%s: %s" % (type(error).__name__, error)


def text_list(values):
    return [str(v) for v in values]


def frame_json(frame):
    fid = frame.FrameID
    out = {"id": fid}
    has = lambda name: hasattr(frame, name)
    if fid in ("TXXX", "TXX"):
        out.update(encoding=int(frame.encoding), description=frame.desc, text=text_list(frame.text))
    elif fid in ("COMM", "COM", "USLT", "ULT"):
        out.update(encoding=int(frame.encoding), lang=frame.lang, description=frame.desc,
                   text="\u0000".join(text_list(frame.text)) if isinstance(frame.text, list) else str(frame.text))
    elif fid in ("APIC", "PIC"):
        out.update(encoding=int(frame.encoding), mime=frame.mime, type=int(frame.type),
                   description=frame.desc, size=len(frame.data),
                   sha256=hashlib.sha256(frame.data).hexdigest())
    elif fid == "PRIV":
        out.update(owner=frame.owner, data=frame.data.hex())
    elif fid in ("WXXX", "WXX"):
        out.update(encoding=int(frame.encoding), description=frame.desc, url=frame.url)
    elif fid.startswith("W") and has("url"):
        out.update(url=frame.url)
    elif isinstance(frame, TextFrame) or (fid.startswith("T") and has("text") and has("encoding")):
        # Text frames, iTunes' GRP1, MVNM and MVIN among them.
        out.update(encoding=int(frame.encoding), text=text_list(frame.text))
    elif has("data") and isinstance(frame.data, bytes) and len(frame._framespec) == 1:
        # Frames that are one binary field (MCDI, unknown frames): the raw body.
        out.update(data=frame.data.hex())
    else:
        # Anything else: mutagen's own rendering of the body.
        out.update(data=frame._writeData().hex())
    return out


def id3v2_json(path):
    try:
        tags = ID3(path, translate=False, load_v1=False)
    except ID3NoHeaderError:
        return None
    frames = [frame_json(f) for f in tags.values()]
    major, minor, rev = tags.version
    return {"version": "%d.%d.%d" % (major, minor, rev), "size": tags.size, "frames": frames}


def id3v1_json(path):
    with open(path, "rb") as f:
        f.seek(0, 2)
        if f.tell() < 128:
            return None
        f.seek(-128, 2)
        data = f.read(128)
    frames = ParseID3v1(data)
    if frames is None:
        return None

    def first(fid):
        return str(frames[fid].text[0]) if fid in frames and frames[fid].text else ""

    track = first("TRCK")
    genre = first("TCON")
    return {
        "title": first("TIT2"), "artist": first("TPE1"), "album": first("TALB"),
        "year": first("TDRC"), "comment": first("COMM"),
        "track": int(track) if track.isdigit() else 0,
        "genre": int(genre) if genre.isdigit() else 255,
    }


def ape_json(path):
    try:
        tag = APEv2(path)
    except APENoHeaderError:
        return None
    items = []
    for key, value in tag.items():
        if value.kind == BINARY:
            data = bytes(value)
            items.append({"key": key, "type": "binary", "size": len(data),
                          "sha256": hashlib.sha256(data).hexdigest()})
        else:
            kind = "text" if value.kind == TEXT else "external"
            items.append({"key": key, "type": kind, "values": list(value)})
    items.sort(key=lambda item: item["key"])
    return {"items": items}


def xiph_json(tags):
    if tags is None:
        return None
    fields = {}
    for key, value in tags:
        fields.setdefault(key.upper(), []).append(value)
    return {"vendor": tags.vendor, "fields": dict(sorted(fields.items()))}


def picture_json(p):
    return {"type": int(p.type), "mime": p.mime, "description": p.desc, "width": p.width,
            "height": p.height, "size": len(p.data), "sha256": hashlib.sha256(p.data).hexdigest()}


def asf_value(value):
    """One ASF attribute as text, as taglib_dump writes it."""
    from mutagen.asf import ASFBoolAttribute, ASFByteArrayAttribute, ASFGUIDAttribute
    if isinstance(value, ASFBoolAttribute):
        return "true" if value.value else "false"
    if isinstance(value, (ASFByteArrayAttribute, ASFGUIDAttribute)):
        return bytes(value.value).hex()
    return str(value.value)


def asf_json(tags):
    if tags is None:
        return None
    attributes = {}
    for key, values in tags.items():
        attributes.setdefault(key, []).extend(asf_value(v) for v in values)
    return {"attributes": dict(sorted(attributes.items()))}


def audio_json(info):
    if info is None:
        return None
    return {"lengthMs": int(round(info.length * 1000)), "bitrate": int(getattr(info, "bitrate", 0) // 1000),
            "sampleRate": int(info.sample_rate), "channels": int(info.channels)}


def detect(path):
    lower = path.lower()
    if lower.endswith(".flac"):
        return "flac"
    if lower.endswith((".ogg", ".oga")):
        return "ogg"
    if lower.endswith((".mp3", ".mp2", ".mpga")):
        return "mpeg"
    if lower.endswith((".wma", ".asf")):
        return "asf"
    with open(path, "rb") as f:
        magic = f.read(4)
    return {b"fLaC": "flac", b"OggS": "ogg"}.get(magic, "mpeg")


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: mutagen_dump.py FILE\n")
        return 2
    path = argv[1]
    try:
        open(path, "rb").close()
    except OSError as e:
        sys.stderr.write("%s\n" % e)
        return 1
    fmt = detect(path)
    out = {"tool": "mutagen", "format": fmt, "valid": True, "id3v2": None, "id3v1": None,
           "ape": None, "xiph": None, "asf": None, "pictures": [], "audio": None}
    errors = []
    if fmt == "flac":
        from mutagen.flac import FLAC
        try:
            f = FLAC(path)
            out["xiph"] = xiph_json(f.tags)
            out["pictures"] = [picture_json(p) for p in f.pictures]
            out["audio"] = audio_json(f.info)
        except mutagen.MutagenError as e:
            out["valid"] = False
            errors.append(describe(e))
        try:
            out["id3v2"] = id3v2_json(path)
        except mutagen.MutagenError as e:
            errors.append("id3v2: %s" % describe(e))
    elif fmt == "asf":
        from mutagen.asf import ASF
        try:
            f = ASF(path)
            out["asf"] = asf_json(f.tags)
            out["audio"] = audio_json(f.info)
        except mutagen.MutagenError as e:
            out["valid"] = False
            errors.append(describe(e))
    elif fmt == "ogg":
        from mutagen.oggvorbis import OggVorbis
        try:
            f = OggVorbis(path)
            out["xiph"] = xiph_json(f.tags)
            out["audio"] = audio_json(f.info)
        except mutagen.MutagenError as e:
            out["valid"] = False
            errors.append(describe(e))
    else:
        from mutagen.mp3 import MP3
        for part, reader in (("id3v2", id3v2_json), ("id3v1", id3v1_json), ("ape", ape_json)):
            try:
                out[part] = reader(path)
            except mutagen.MutagenError as e:
                errors.append("%s: %s" % (part, describe(e)))
        try:
            out["audio"] = audio_json(MP3(path).info)
        except mutagen.MutagenError as e:
            out["valid"] = False
            errors.append(describe(e))
    if errors:
        out["errors"] = errors
    # ASCII with escapes: text from a damaged tag may hold lone surrogates that UTF-8 cannot carry.
    json.dump(out, sys.stdout, ensure_ascii=True)
    sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
