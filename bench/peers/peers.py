# SPDX-License-Identifier: MIT
# The peer comparison behind bench/peers.sh: real MP3 files (lame), tagged by mutagen
# (ID3v2.3 + ID3v1, mutagen's default padding and a tight one), a 150 KB cover; on fresh
# copies every tool embeds the cover, embeds it again, removes it, and reads title and
# artist; each step is timed without and with the writeback it leaves (syncfs of the work
# folder's file system), tools in rotated order every round, medians over the rounds. Every
# tool's output is checked with mutagen. Writes a Markdown section into RESULTS.md.
import argparse
import hashlib
import json
import os
import random
import shutil
import statistics
import struct
import subprocess
import sys
import time

from mutagen.id3 import APIC, ID3, TALB, TCON, TIT2, TPE1, TRCK, TYER, PictureType

SOURCES = 4          # distinct lame encodes the corpus is made of
SECONDS = 240        # 4 minutes at 128 kbit/s: 3.85 MB a file
TIGHT_PADDING = 1200


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)


def syncfs(folder):
    run(["sync", "-f", folder])


def make_wav(path, seed):
    # A stereo signal with some structure (drifting tones and a little noise), so that lame
    # spends its bits as on music. ffmpeg makes the samples, lame encodes them.
    f1, f2 = 180 + 37 * seed, 270 + 53 * seed
    expr = ("0.25*sin(2*PI*%d*t*(1+0.01*sin(t/7)))+0.2*sin(2*PI*%d*t)+0.05*(random(%d)-0.5)|"
            "0.2*sin(2*PI*%d*t)+0.25*sin(2*PI*%d*t*(1+0.02*sin(t/5)))+0.05*(random(%d)-0.5)"
            % (f1, f2, seed + 1, f1 * 3 // 2, f2 * 2, seed + 7))
    run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "aevalsrc=%s:s=44100:d=%d" % (expr, SECONDS),
         "-c:a", "pcm_s16le", path])


def tag_corpus_file(path, index, padding):
    tags = ID3()
    tags.add(TIT2(encoding=1, text="Title %d" % index))
    tags.add(TPE1(encoding=1, text="Artist %d" % (index % 7)))
    tags.add(TALB(encoding=1, text="Album %d" % (index // 12)))
    tags.add(TRCK(encoding=0, text="%d/12" % (index % 12 + 1)))
    tags.add(TCON(encoding=0, text="Rock"))
    tags.add(TYER(encoding=0, text="1999"))
    kw = {} if padding is None else {"padding": lambda info: padding}
    tags.save(path, v2_version=3, v1=2, **kw)


def make_corpus(cache, files):
    os.makedirs(cache, exist_ok=True)
    sources = []
    for s in range(SOURCES):
        mp3 = os.path.join(cache, "source%d.mp3" % s)
        if not os.path.exists(mp3):
            wav = os.path.join(cache, "source%d.wav" % s)
            make_wav(wav, s)
            run(["lame", "--silent", "-b", "128", wav, mp3 + ".part"])
            os.rename(mp3 + ".part", mp3)
            os.remove(wav)
        sources.append(mp3)
    cover = os.path.join(cache, "cover.jpg")
    if not os.path.exists(cover):
        # 500 x 500 (inside every tool's limits, so nobody rescales it), about 150 KB.
        from PIL import Image
        rnd = random.Random(7)
        img = Image.new("RGB", (500, 500))
        img.putdata([(x % 256, (x * y) % 256, rnd.randrange(256)) for y in range(500) for x in range(500)])
        quality = 95
        while True:
            img.save(cover, quality=quality)
            if os.path.getsize(cover) <= 160000 or quality < 50:
                break
            quality -= 3
    corpora = {}
    for kind, padding in (("default", None), ("tight", TIGHT_PADDING)):
        folder = os.path.join(cache, "corpus-%s-%d" % (kind, files))
        covered = folder + "-covered"
        if not os.path.exists(covered):
            for f in (folder, covered):
                shutil.rmtree(f + ".part", ignore_errors=True)
                os.makedirs(f + ".part")
            for i in range(files):
                name = "%03d Track.mp3" % i
                target = os.path.join(folder + ".part", name)
                shutil.copyfile(sources[i % SOURCES], target)
                tag_corpus_file(target, i, padding)
                shutil.copyfile(target, os.path.join(covered + ".part", name))
                with open(cover, "rb") as c:
                    data = c.read()
                tags = ID3(os.path.join(covered + ".part", name))
                tags.add(APIC(encoding=0, mime="image/jpeg", type=PictureType.COVER_FRONT, desc="", data=data))
                kw = {} if padding is None else {"padding": lambda info: padding}
                tags.save(os.path.join(covered + ".part", name), v2_version=3, v1=1, **kw)
            os.rename(folder + ".part", folder)
            os.rename(covered + ".part", covered)
        corpora[kind] = (folder, covered)
    return sources, cover, corpora


def audio_digest(path):
    with open(path, "rb") as f:
        data = f.read()
    start = 0
    while data[start:start + 3] == b"ID3" and len(data) - start >= 10:
        size = 0
        for b in data[start + 6:start + 10]:
            size = size * 128 + (b & 0x7F)
        start += 10 + size + (10 if data[start + 5] & 0x10 else 0)
    end = len(data)
    if data[end - 128:end - 125] == b"TAG":
        end -= 128
    # Padding some writers leave between tag and audio is not audio.
    while start < end and data[start] == 0:
        start += 1
    return hashlib.sha1(data[start:end]).hexdigest()


class Tool:
    def __init__(self, name, add, remove, info):
        self.name, self.add, self.remove, self.info = name, add, remove, info


def tools(args, cover, settings):
    py = "/usr/bin/python3"
    here = os.path.dirname(os.path.abspath(__file__))
    found = []
    if args.cli:
        cli = args.cli
        found.append(Tool("covrilo-cli", lambda f: [cli, "add", "--cover", cover, "--settings", settings] + f,
                          lambda f: [cli, "remove", "--settings", settings] + f, lambda f: [cli, "info"] + f))
    if args.baseline_cli:
        base = args.baseline_cli
        found.append(Tool("covrilo-cli (before)",
                          lambda f: [base, "add", "--cover", cover, "--settings", settings] + f,
                          lambda f: [base, "remove", "--settings", settings] + f, lambda f: [base, "info"] + f))
    if args.taglib:
        tl = args.taglib
        found.append(Tool("TagLib program", lambda f: [tl, "add", cover] + f, lambda f: [tl, "remove"] + f,
                          lambda f: [tl, "info"] + f))
    script = os.path.join(here, "mutagen_cover.py")
    found.append(Tool("mutagen", lambda f: [py, script, "add", cover] + f, lambda f: [py, script, "remove"] + f,
                      lambda f: [py, script, "info"] + f))
    found.append(Tool("mid3v2", lambda f: ["mid3v2", "--picture=%s::3:image/jpeg" % cover] + f,
                      lambda f: ["mid3v2", "--delete-frames=APIC"] + f, lambda f: ["mid3v2", "-l"] + f))
    if shutil.which("eyeD3") and "eyeD3" in args.tools:
        found.append(Tool("eyeD3", lambda f: ["eyeD3", "-Q", "--to-v2.3", "--add-image", cover + ":FRONT_COVER"] + f,
                          lambda f: ["eyeD3", "-Q", "--remove-all-images"] + f, lambda f: ["eyeD3", "--no-color"] + f))
    if shutil.which("kid3-cli"):
        found.append(Tool("kid3-cli", lambda f: ["kid3-cli", "-c", "set picture:'%s' ''" % cover] + f,
                          lambda f: ["kid3-cli", "-c", "set picture ''"] + f,
                          lambda f: kid3_info(f)))
    return [t for t in found if t.name.split()[0] in args.tools or t.name in args.tools]


def kid3_info(files):
    # kid3-cli shows one value for all selected files: walk them one by one.
    cmd = ["kid3-cli", "-c", "select first"]
    for i in range(len(files)):
        cmd += ["-c", "get title", "-c", "get artist"] + (["-c", "select next"] if i + 1 < len(files) else [])
    return cmd + files


def mp3s(folder):
    return sorted(os.path.join(folder, n) for n in os.listdir(folder) if n.endswith(".mp3"))


def fresh_copy(source, target):
    shutil.rmtree(target, ignore_errors=True)
    run(["cp", "-r", source, target])
    # Read back, so the step starts from a warm cache, and put the copy's own writeback behind us.
    for f in mp3s(target):
        with open(f, "rb") as h:
            while h.read(1 << 20):
                pass
    syncfs(target)


def timed(cmd, folder):
    t0 = time.perf_counter()
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    t1 = time.perf_counter()
    syncfs(folder)
    t2 = time.perf_counter()
    return t1 - t0, t2 - t0, p


def expected_titles(files):
    out = {}
    for f in files:
        t = ID3(f)
        out[os.path.basename(f)] = (str(t.get("TIT2")), str(t.get("TPE1")))
    return out


def check(step, files, titles, audio, cover_sha):
    problems = []
    for f in files:
        name = os.path.basename(f)
        try:
            t = ID3(f)
        except Exception as e:  # noqa: BLE001 - any failure to read is a problem to report
            problems.append("%s: mutagen cannot read it (%s)" % (name, e))
            continue
        pics = t.getall("APIC")
        if step == "remove":
            if pics:
                problems.append("%s: %d pictures left" % (name, len(pics)))
        else:
            front = [p for p in pics if p.type == PictureType.COVER_FRONT]
            if len(front) != 1 or hashlib.sha1(front[0].data).hexdigest() != cover_sha:
                problems.append("%s: %d front covers, not the cover" % (name, len(front)))
        if (str(t.get("TIT2")), str(t.get("TPE1"))) != titles[name]:
            problems.append("%s: title/artist changed" % name)
        if audio is not None and audio_digest(f) != audio[name]:
            problems.append("%s: audio changed" % name)
    return problems


def median(values):
    return statistics.median(values) if values else float("nan")


def fmt(seconds):
    return "%.3f" % seconds if seconds < 1 else "%.2f" % seconds


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli")
    ap.add_argument("--baseline-cli")
    ap.add_argument("--taglib")
    ap.add_argument("--work", required=True)
    ap.add_argument("--files", type=int, default=100)
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--tools", default="covrilo-cli,TagLib,mutagen,mid3v2,eyeD3,kid3-cli")
    ap.add_argument("--paddings", default="default,tight")
    ap.add_argument("--results")
    ap.add_argument("--json")
    args = ap.parse_args()
    args.tools = args.tools.split(",")
    args.work = os.path.abspath(args.work)

    cache = os.path.join(args.work, "cache")
    sources, cover, corpora = make_corpus(cache, args.files)
    with open(cover, "rb") as c:
        cover_sha = hashlib.sha1(c.read()).hexdigest()
    settings = os.path.join(args.work, "settings.xml")
    all_tools = tools(args, cover, settings)
    steps = ("first", "again", "remove", "info")
    times = {}  # (padding, step, tool) -> [(plain, with writeback)]
    problems = {}
    load = []
    for rnd in range(args.rounds):
        order = all_tools[rnd % len(all_tools):] + all_tools[:rnd % len(all_tools)]
        for padding in args.paddings.split(","):
            corpus, covered = corpora[padding]
            titles = expected_titles(mp3s(corpus))
            audio = {os.path.basename(f): audio_digest(f) for f in mp3s(corpus)} if rnd == 0 else None
            base = os.path.join(args.work, "run")
            # cp of the same files, with its writeback: what a rewrite of every file costs at least.
            shutil.rmtree(base + "-cp", ignore_errors=True)
            syncfs(args.work)
            t0 = time.perf_counter()
            run(["cp", "-r", corpus, base + "-cp"])
            t1 = time.perf_counter()
            syncfs(args.work)
            t2 = time.perf_counter()
            times.setdefault((padding, "first", "cp"), []).append((t1 - t0, t2 - t0))
            shutil.rmtree(base + "-cp", ignore_errors=True)
            for tool in order:
                first = base + "-first"
                fresh_copy(corpus, first)
                load.append(os.getloadavg()[0])
                plain, synced, p = timed(tool.add(mp3s(first)), first)
                times.setdefault((padding, "first", tool.name), []).append((plain, synced))
                problems.setdefault((padding, "first", tool.name), set()).update(
                    check("first", mp3s(first), titles, audio, cover_sha) + ([] if p.returncode == 0 else
                                                                             ["exit %d" % p.returncode]))
                for step, cmd in (("again", tool.add), ("remove", tool.remove)):
                    target = base + "-" + step
                    fresh_copy(first, target)
                    plain, synced, p = timed(cmd(mp3s(target)), target)
                    times.setdefault((padding, step, tool.name), []).append((plain, synced))
                    problems.setdefault((padding, step, tool.name), set()).update(
                        check(step, mp3s(target), titles, audio, cover_sha) +
                        ([] if p.returncode == 0 else ["exit %d" % p.returncode]))
                    shutil.rmtree(target, ignore_errors=True)
                shutil.rmtree(first, ignore_errors=True)
                # Reading: the covered corpus as mutagen wrote it, the same files for every tool.
                files = mp3s(covered)
                for f in files:
                    with open(f, "rb") as h:
                        h.read()
                plain, synced, p = timed(tool.info(files), covered)
                times.setdefault((padding, "info", tool.name), []).append((plain, synced))
                out = p.stdout.decode("utf-8", "replace")
                missing = [n for n, (title, _) in titles.items() if title not in out]
                problems.setdefault((padding, "info", tool.name), set()).update(
                    ["%d titles not printed" % len(missing)] if missing else [])
        print("round %d done, load %.1f" % (rnd + 1, os.getloadavg()[0]), file=sys.stderr)

    names = [t.name for t in all_tools]
    lines = []
    captions = {"first": "first embed", "again": "embed again", "remove": "remove all pictures",
                "info": "read title and artist (`info`)"}
    for padding in args.paddings.split(","):
        lines.append("")
        lines.append("%d files, %s padding: seconds, median of %d rounds, without / with the writeback "
                     "the step leaves (min-max of the plain time)" % (args.files, padding, args.rounds))
        lines.append("")
        lines.append("| step | " + " | ".join(names) + " | fastest peer vs covrilo-cli (with writeback) |")
        lines.append("|---|" + "---|" * (len(names) + 1))
        for step in steps:
            cells = []
            for n in names:
                v = times.get((padding, step, n), [])
                plain = [a for a, _ in v]
                synced = [b for _, b in v]
                bad = problems.get((padding, step, n))
                cell = "%s / %s (%s-%s)" % (fmt(median(plain)), fmt(median(synced)), fmt(min(plain)), fmt(max(plain)))
                if bad:
                    cell += " **%d problems**" % len(bad)
                cells.append(cell)
            ours = median([b for _, b in times.get((padding, step, "covrilo-cli"), [])])
            peers = [(median([b for _, b in times[(padding, step, n)]]), n) for n in names
                     if not n.startswith("covrilo") and (padding, step, n) in times]
            ratio = ""
            if peers and ours == ours:
                best, who = min(peers)
                ratio = "%s %.2fx %s" % (who, max(best, ours) / min(best, ours), "slower" if best > ours else "faster")
            lines.append("| %s | %s | %s |" % (captions[step], " | ".join(cells), ratio))
        cp = times.get((padding, "first", "cp"), [])
        if cp:
            lines.append("")
            lines.append("`cp -r` of the same files: %s s, %s s with its writeback." %
                         (fmt(median([a for a, _ in cp])), fmt(median([b for _, b in cp]))))
    lines.append("")
    lines.append("Load average during the steps: median %.1f (min %.1f, max %.1f)." %
                 (median(load), min(load), max(load)))
    all_problems = {k: sorted(v) for k, v in problems.items() if v}
    if all_problems:
        lines.append("")
        lines.append("Problems found by mutagen (first five of each):")
        for (padding, step, n), v in sorted(all_problems.items()):
            lines.append("- %s, %s, %s: %s" % (n, padding, step, "; ".join(v[:5])))
    else:
        lines.append("Every output was checked with mutagen (pictures, title and artist, and in the first round "
                     "the audio bytes): no problems.")
    text = "\n".join(lines) + "\n"
    print(text)
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"%s|%s|%s" % k: v for k, v in times.items()}, f)
    if args.results:
        begin, end = "<!-- peers.sh: begin -->", "<!-- peers.sh: end -->"
        with open(args.results) as f:
            doc = f.read()
        block = begin + "\n" + text + end
        if begin in doc and end in doc:
            doc = doc[:doc.index(begin)] + block + doc[doc.index(end) + len(end):]
        else:
            doc += "\n" + block + "\n"
        with open(args.results, "w") as f:
            f.write(doc)


if __name__ == "__main__":
    main()
