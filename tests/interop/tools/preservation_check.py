#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""preservation_check.py: the preservation property of covrilo-cli, checked by the peers.

    preservation_check.py --cli CLI --taglib-dump TAGLIB_DUMP --cover JPEG --work DIR
                          [--ops OPS] [--list FILE] [FILE...]

Every MP3 file given (an ".id3" bare tag runs as an ".mp3" copy; files the facade does not
treat as MPEG audio by their extension are counted as skipped) is copied once per operation
into DIR, and covrilo-cli runs each operation over all copies at once:

    add --id3 2.3-latin1|2.3-utf16|2.4-utf8 --kind FrontCover|Other   (six operations)
    remove

Then, per file and operation, through mutagen (in this process), eyeD3 (in this process) and
TagLib (one taglib_dump run over many files):

- "Error": the file is byte for byte as it was (a refusal), and covrilo-cli gave the reason on
  stderr ("covrilo-cli: PATH: REASON"), which the report keeps.
- "OK" / "Deleted": the audio bytes are as they were; mutagen, eyeD3 and TagLib read the tag;
  every frame mutagen read before that the operation does not rewrite by design is there with
  its content (text encodings aside); every value of a rewritten text frame is still there; the
  date mutagen sees (TDRC / TDOR, translated to 2.4) is still there; TagLib lists at least the
  frames it listed before (rewritten ones aside); "add" leaves exactly one picture of its type,
  the cover, and "remove" no picture.

Rewritten by design: TPE1 TIT2 TALB TRCK TCON TENC and the year (TYER, TDRC), the record's
comment and link, and the pictures of the new cover's type ("remove": every picture). The 2.3
date frames TDAT, TIME and TORY are compared through the date, as a save into 2.4 folds them
into TDRC and TDOR.

Prints one JSON object: {"files", "skipped": [{"path", "reason"}], "results": [{"path", "op",
"status", "outcome": "preserved"|"refused"|"problem", "problems": [...], "reason", "result":
the file as the operation left it}],
"counts": {op: {outcome: n}}}. Exit status 0 when no result is a problem, 1 otherwise, 2 usage.
Run with /usr/bin/python3 (the interpreter that sees python3-mutagen and python3-eyed3).
"""
import argparse
import collections
import hashlib
import json
import logging
import os
import re
import shutil
import struct
import subprocess
import sys

import mutagen
from mutagen.id3 import ID3, ID3NoHeaderError

MPEG_EXTENSIONS = (".mp1", ".mp2", ".mp3")
OPS = collections.OrderedDict([
    ("add-2.3-latin1-FrontCover", ["add", "--id3", "2.3-latin1", "--kind", "FrontCover"]),
    ("add-2.3-latin1-Other", ["add", "--id3", "2.3-latin1", "--kind", "Other"]),
    ("add-2.3-utf16-FrontCover", ["add", "--id3", "2.3-utf16", "--kind", "FrontCover"]),
    ("add-2.3-utf16-Other", ["add", "--id3", "2.3-utf16", "--kind", "Other"]),
    ("add-2.4-utf8-FrontCover", ["add", "--id3", "2.4-utf8", "--kind", "FrontCover"]),
    ("add-2.4-utf8-Other", ["add", "--id3", "2.4-utf8", "--kind", "Other"]),
    ("remove", ["remove"]),
])
KIND_TYPES = {"FrontCover": 3, "Other": 0}
REWRITTEN_TEXT = ("TPE1", "TIT2", "TALB", "TRCK", "TCON", "TENC")
DATE_FRAMES = ("TYER", "TDRC", "TDAT", "TIME", "TORY", "TDOR")
# Frames TagLib drops when it upgrades a 2.3 tag, and 2.3 frames TagLib reads under 2.4 names
# (a 2.4 tag keeps the 2.3 frame, which TagLib then lists as it stands).
TAGLIB_DISCARDS = {"TDAT", "TIME", "TYER", "TORY", "RVAD", "EQUA", "TRDA", "TSIZ"}
TAGLIB_ALIASES = {"TIPL": "IPLS"}
PIC_FORMATS = {"PNG": "image/png", "JPG": "image/jpeg", "GIF": "image/gif", "BMP": "image/ms-bmp",
               "TIF": "image/tiff", "XBM": "image/x-bmp"}


# ---- the audio, found without any tag library -----------------------------------------------

def syncsafe(b):
    return (b[0] << 21) | (b[1] << 14) | (b[2] << 7) | b[3]


def trailing_block(d, begin, end):
    """Size of a trailing block ending at end (ID3v1, APEv2, Lyrics3 v2 and v1, appended
    ID3v2), or 0; the same reading as MpegAudioRange in InteropUtil.cpp."""
    room = end - begin
    if room >= 128 and d[end - 128:end - 125] == b"TAG":
        return 128
    if room >= 32 and d[end - 32:end - 24] == b"APETAGEX":
        size, flags = struct.unpack("<I4xI", d[end - 20:end - 8])
        if flags & 0x80000000:
            size += 32
        if 32 <= size <= room:
            return size
    if room >= 15 and d[end - 9:end] == b"LYRICS200":
        digits = d[end - 15:end - 9]
        if not digits.isdigit():
            return 0
        size = int(digits)
        if size + 15 <= room and d[end - 15 - size:end - 15 - size + 11] == b"LYRICSBEGIN":
            return size + 15
    if room >= 20 and d[end - 9:end] == b"LYRICSEND":
        lowest = end - 5100 - 20 if room > 5100 + 20 else begin
        start = d.rfind(b"LYRICSBEGIN", lowest, end - 20 + 11)
        if start >= 0:
            return end - start
    if room >= 20 and d[end - 10:end - 7] == b"3DI":
        size = syncsafe(d[end - 4:end]) + 20
        if size <= room and d[end - size:end - size + 3] == b"ID3":
            return size
    return 0


def audio_bytes(d):
    begin = 0
    while len(d) - begin >= 10 and d[begin:begin + 3] == b"ID3" and d[begin + 3] < 0xFF and d[begin + 4] < 0xFF:
        size = syncsafe(d[begin + 6:begin + 10]) + 10
        if d[begin + 3] == 4 and d[begin + 5] & 0x10:
            size += 10
        if size > len(d) - begin:
            break
        begin += size
    end = len(d)
    while end > begin:
        block = trailing_block(d, begin, end)
        if block == 0:
            break
        end -= block
    return d[begin:end]


# ---- what mutagen reads ----------------------------------------------------------------------

def mime_of(frame):
    mime = frame.mime
    return PIC_FORMATS.get(mime.upper(), mime) if len(mime) == 3 else mime


def normal(value):
    """A frame field as comparable data, text encodings aside."""
    if isinstance(value, bytes):
        return value.hex()
    if isinstance(value, (list, tuple)):
        values = [normal(v) for v in value]
        # mutagen reads a trailing terminator as an empty last value in 2.4 only.
        while values and values[-1] == "":
            values.pop()
        return values
    if hasattr(value, "FrameID"):
        return frame_key(value)
    return str(value)


def frame_key(frame):
    """One frame as a hashable description of its content (its encoding aside)."""
    fields = []
    # mutagen's own list of the frame's fields
    for field in frame._framespec + getattr(frame, "_optionalspec", []):
        name = field.name
        if name == "encoding" or not hasattr(frame, name):
            continue
        value = getattr(frame, name)
        if name == "mime" and frame.FrameID == "APIC":
            value = mime_of(frame)
        if name == "desc" and frame.FrameID == "APIC":
            # mutagen appends blanks to tell same-named pictures apart.
            value = str(value).rstrip(" ")
        if name == "sub_frames":
            value = sorted(json.dumps(frame_key(f)) for f in value.values())
        fields.append((name, normal(value)))
    return json.dumps([frame.FrameID, fields], sort_keys=True)


def read_tags(path, translate):
    try:
        return ID3(path, translate=translate, load_v1=False), None
    except ID3NoHeaderError:
        return None, None
    except Exception as e:  # mutagen cannot read it
        return None, "%s: %s" % (type(e).__name__, e)


def frames_of(tags):
    return list(tags.values()) if tags is not None else []


def unknown_bodies(tags):
    """Frames mutagen does not know, as (identifier, content): their bytes must survive."""
    if tags is None:
        return []
    out = []
    header = 6 if tags.version[1] == 2 else 10
    for raw in tags.unknown_frames:
        out.append((raw[:header - 6 or 3].decode("latin1") if header == 6 else raw[:4].decode("latin1"),
                    raw[header:].hex()))
    return out


def text_values(tags, fid):
    values = []
    for frame in tags.getall(fid) if tags is not None else []:
        values.extend(str(v) for v in frame.text)
    return [v for v in values if v != ""]


def genres(tags):
    values = []
    for frame in tags.getall("TCON") if tags is not None else []:
        values.extend(frame.genres)
    return [v for v in values if v != ""]


def dates(tags, fid, from23):
    """Timestamps of the translated (2.4) view, as their parts. mutagen's translation of a 2.3
    TIME adds seconds of 0 that the tag never held."""
    out = []
    for frame in tags.getall(fid) if tags is not None else []:
        for stamp in frame.text:
            if str(stamp) == "":
                continue
            parts = [getattr(stamp, name, None) for name in ("year", "month", "day", "hour", "minute", "second")]
            if from23 and parts[5] == 0:
                parts[5] = None
            out.append(parts if parts[0] is not None else [str(stamp)])
    return out


def covered(before, after_list):
    """A date of before is still there: some date of after has all its parts."""
    for after in after_list:
        if len(before) == 1 or len(after) == 1:
            if before == after:
                return True
            continue
        if all(b is None or a == b for a, b in zip(after, before)):
            return True
    return False


# ---- eyeD3 and TagLib ------------------------------------------------------------------------

def eyed3_reads(path):
    import eyed3
    try:
        audio = eyed3.load(path)
    except Exception as e:
        return False, "eyeD3 raised %s: %s" % (type(e).__name__, e)
    if audio is None or audio.tag is None:
        return False, "eyeD3 reads no tag"
    return True, audio.tag


def taglib_dumps(taglib, paths):
    out = {}
    for start in range(0, len(paths), 200):
        chunk = paths[start:start + 200]
        run = subprocess.run([taglib] + chunk, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
        lines = run.stdout.decode("utf-8", "replace").splitlines()
        for path, line in zip(chunk, lines):
            try:
                out[path] = json.loads(line)
            except ValueError:
                out[path] = None
    return out


def taglib_ids(dump):
    if not dump or not dump.get("id3v2"):
        return collections.Counter()
    return collections.Counter(f["id"] for f in dump["id3v2"]["frames"])


# ---- one operation on one file ---------------------------------------------------------------

def check(before_path, after_path, op, status, reason, cover, cover_sha, taglib_before, taglib_after):
    problems = []
    before_bytes = open(before_path, "rb").read()
    after_bytes = open(after_path, "rb").read()
    if status == "Error":
        if after_bytes != before_bytes:
            problems.append("refused, yet the file changed")
        if not reason:
            problems.append("refused without a reason")
        return problems
    if status not in ("OK", "Deleted"):
        return ["no status (the run ended before the file)"]
    adding = op != "remove"
    if audio_bytes(after_bytes) != audio_bytes(before_bytes):
        problems.append("the audio bytes changed")

    # Each peer must read what it read before: a tag it could not read then is the file's.
    raw_before, err_before = read_tags(before_path, False)
    raw_after, err = read_tags(after_path, False)
    if err and not err_before:
        problems.append("mutagen cannot read the tag: " + err)
    if err:
        return problems
    if adding and raw_after is None:
        problems.append("no ID3v2 tag after add")
        return problems
    if raw_after is not None:
        ok, tag = eyed3_reads(after_path)
        eyed3_before = raw_before is None or eyed3_reads(before_path)[0]
        if not ok and eyed3_before:
            problems.append(tag)
        elif ok and adding and not any(img.image_data == cover for img in tag.images):
            problems.append("eyeD3 does not see the cover")
        dump = taglib_after
        taglib_before_read = raw_before is None or bool(taglib_before and taglib_before.get("id3v2") and
                                                       taglib_before["id3v2"]["frames"])
        if not dump or not dump.get("id3v2"):
            if taglib_before_read:
                problems.append("TagLib reads no ID3v2 tag")
        elif adding and not any(f.get("sha256") == cover_sha for f in dump["id3v2"]["frames"] if f["id"] == "APIC"):
            problems.append("TagLib does not see the cover")

    kind_type = KIND_TYPES[op.rsplit("-", 1)[1]] if adding else None

    def rewritten(frame):
        fid = frame.FrameID
        if fid == "APIC":
            return not adding or frame.type == kind_type
        if not adding:
            return False
        if fid in REWRITTEN_TEXT or fid in DATE_FRAMES:
            return True
        # The record's comment and link: empty ones may be filled from the ID3v1 record.
        if fid == "COMM" and frame.desc == "" and str(frame) == "":
            return True
        if fid == "WXXX" and frame.desc == "" and frame.url == "":
            return True
        return False

    before_keys = collections.Counter(frame_key(f) for f in frames_of(raw_before) if not rewritten(f))
    after_keys = collections.Counter(frame_key(f) for f in frames_of(raw_after))
    for key, count in before_keys.items():
        if after_keys[key] < count:
            problems.append("frame lost or changed: " + key[:300])
    # A frame mutagen does not know must keep its content byte for byte; in another version
    # mutagen may know it (iTunes' 2.2 "TDS" is 2.3's "TDES"), so it is looked for in the file.
    after_unknown = collections.Counter(body for _, body in unknown_bodies(raw_after))
    for fid, body in unknown_bodies(raw_before):
        if after_unknown[body] <= 0 and bytes.fromhex(body) not in after_bytes:
            problems.append("unknown frame %r lost or changed" % fid)
        after_unknown[body] -= 1

    if adding:
        for fid in REWRITTEN_TEXT:
            if fid == "TCON":
                lost = [g for g in genres(raw_before) if g not in genres(raw_after)]
            else:
                lost = [v for v in text_values(raw_before, fid) if v not in text_values(raw_after, fid)]
            if lost:
                problems.append("%s lost %r" % (fid, lost[:3]))
        translated_before, _ = read_tags(before_path, True)
        translated_after, _ = read_tags(after_path, True)
        for fid in ("TDRC", "TDOR"):
            after_dates = dates(translated_after, fid, raw_after.version < (2, 4, 0))
            for date in dates(translated_before, fid, raw_before is not None and raw_before.version < (2, 4, 0)):
                if not covered(date, after_dates):
                    problems.append("%s %r lost (after: %r)" % (fid, date, after_dates))
        pictures = [f for f in frames_of(raw_after) if f.FrameID == "APIC" and f.type == kind_type]
        if len(pictures) != 1 or pictures[0].data != cover:
            problems.append("%d pictures of type %d after add, expected the cover alone" % (len(pictures), kind_type))
    else:
        if any(f.FrameID == "APIC" for f in frames_of(raw_after)):
            problems.append("a picture is left after remove")

    # TagLib lists every frame, duplicates included. It upgrades 2.2 and 2.3 frames to 2.4
    # while reading, discarding those 2.4 lacks (their survival is mutagen's to check), so its
    # lists are compared for 2.3 and 2.4 tags only.
    if raw_before is not None and raw_before.version >= (2, 3, 0):
        skip = {"APIC"} | TAGLIB_DISCARDS | (set(REWRITTEN_TEXT) | {"TDRC", "TDOR", "COMM", "WXXX"} if adding else set())
        ids_before, ids_after = taglib_ids(taglib_before), taglib_ids(taglib_after)
        for fid, count in ids_before.items():
            have = ids_after[fid] + ids_after[TAGLIB_ALIASES.get(fid, fid)] * (fid in TAGLIB_ALIASES)
            if fid not in skip and have < count:
                problems.append("TagLib lists %d %s frames before, %d after" % (count, fid, have))
    return problems


# ---- the campaign ----------------------------------------------------------------------------

def run_cli(cli, args, settings, paths):
    """Runs one operation over paths; a run ended by an error is resumed after that file."""
    statuses, reasons = {}, {}
    pending = list(paths)
    while pending:
        cmd = [cli] + args[:1] + (["--cover", COVER_PATH] if args[0] == "add" else []) + args[1:] + \
              ["--settings", settings] + pending
        run = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        out = run.stdout.decode("utf-8", "replace")
        err = run.stderr.decode("utf-8", "replace")
        for line in out.splitlines():
            if "\t" in line:
                status, path = line.split("\t", 1)
                statuses[path] = status
        for line in err.splitlines():
            for path in pending:
                prefix = "covrilo-cli: %s: " % path
                if line.startswith(prefix):
                    reasons[path] = line[len(prefix):]
        rest = [p for p in pending if p not in statuses]
        if not rest:
            break
        # The first file without a status ended the run: it has no status; go on after it.
        first = rest[0]
        statuses[first] = "none"
        reasons[first] = err.strip().splitlines()[0] if err.strip() else "exit %d" % run.returncode
        pending = rest[1:]
    return statuses, reasons


COVER_PATH = ""


def main(argv):
    global COVER_PATH
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True)
    parser.add_argument("--taglib-dump", required=True)
    parser.add_argument("--cover", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--ops", default=",".join(OPS))
    parser.add_argument("--list")
    parser.add_argument("files", nargs="*")
    args = parser.parse_args(argv[1:])
    logging.getLogger("eyed3").setLevel(logging.CRITICAL)
    COVER_PATH = os.path.abspath(args.cover)
    cover = open(COVER_PATH, "rb").read()
    cover_sha = hashlib.sha256(cover).hexdigest()
    files = list(args.files)
    if args.list:
        files += [line.rstrip("\n") for line in open(args.list, encoding="utf-8") if line.strip()]
    ops = [op for op in args.ops.split(",") if op]

    os.makedirs(args.work, exist_ok=True)
    originals, skipped = [], []
    base = os.path.join(args.work, "originals")
    os.makedirs(base, exist_ok=True)
    for i, path in enumerate(files):
        lower = path.lower()
        if lower.endswith(".id3"):
            name = "%04d-%s.mp3" % (i, os.path.basename(path)[:-4])
        elif lower.endswith(MPEG_EXTENSIONS):
            name = "%04d-%s" % (i, os.path.basename(path))
        else:
            skipped.append({"path": path, "reason": "not MPEG audio by its extension"})
            continue
        copy = os.path.join(base, name)
        shutil.copyfile(path, copy)
        originals.append((path, copy, name))

    settings = os.path.join(args.work, "settings.xml")
    results = []
    work_paths = {}
    for op in ops:
        folder = os.path.join(args.work, op)
        os.makedirs(folder, exist_ok=True)
        for source, copy, name in originals:
            target = os.path.join(folder, name)
            shutil.copyfile(copy, target)
            work_paths[(op, name)] = target
    taglib = taglib_dumps(args.taglib_dump, [copy for _, copy, _ in originals])
    for op in ops:
        paths = [work_paths[(op, name)] for _, _, name in originals]
        statuses, reasons = run_cli(args.cli, OPS[op], settings, paths)
        after_dumps = taglib_dumps(args.taglib_dump, [p for p in paths if statuses.get(p) in ("OK", "Deleted")])
        for source, copy, name in originals:
            target = work_paths[(op, name)]
            status = statuses.get(target, "none")
            problems = check(copy, target, op, status, reasons.get(target, ""), cover, cover_sha, taglib.get(copy),
                             after_dumps.get(target))
            outcome = "problem" if problems else ("refused" if status == "Error" else "preserved")
            result = {"path": source, "op": op, "status": status, "outcome": outcome, "problems": problems,
                      "result": target}
            if target in reasons:
                result["reason"] = reasons[target]
            results.append(result)
    counts = collections.OrderedDict()
    for r in results:
        counts.setdefault(r["op"], collections.Counter())[r["outcome"]] += 1
    report = {"files": len(originals), "skipped": skipped, "results": results,
              "counts": {op: dict(c) for op, c in counts.items()}}
    json.dump(report, sys.stdout, ensure_ascii=True, indent=1)
    sys.stdout.write("\n")
    return 1 if any(r["outcome"] == "problem" for r in results) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
