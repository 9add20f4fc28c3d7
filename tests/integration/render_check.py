#!/usr/bin/env python3
"""Renders decks stamped by trelwick-cli with LibreOffice and checks what every page shows.

Every .pptx-family and legacy .ppt deck of the corpus is stamped with distinct marker texts for each
element, then rendered to PDF with slides and notes pages (hidden slides included). Every slide page must
show the footer, the date and its number (title slides of a deck that keeps them off title slides: none of
them); every notes page the notes header, footer, date and page number.
The stamped decks are then stamped again with everything hidden, and no marker may remain.

A legacy .ppt deck shows only what its masters have placeholders (with fields) for; trelwick-cli says per
deck what cannot show and on how many pages. Such a deck passes as "explained" when every element missing
from its pages is accounted for by those warnings, or by LibreOffice's known limit of not applying the
settings to notes pages it makes up for slides that have none in the file. trelwick adds the date, footer,
header and number placeholders a master lacks; for the decks listed in PLACEHOLDERS_ADDED a warning that a
master still has no such placeholder fails the deck.

A number is judged by comparing the two renders: page N of the stamped render must hold the token N
more often than page N of the hidden render, since the rest of the page is the same.

Exit status: 0 all decks pass, 1 some fail, 77 skipped (no corpus, soffice or pdftotext).
"""
import argparse
import concurrent.futures
import os
import posixpath
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

FAMILY = (".pptx", ".pptm", ".potx", ".potm", ".ppsx", ".ppsm")
LEGACY = (".ppt", ".pot", ".pps")
SKIP = 77

try:
    import olefile
except ImportError:
    # CMake may pick a Python other than the system one that python3-olefile installs into.
    sys.path.append("/usr/lib/python3/dist-packages")
    try:
        import olefile
    except ImportError:
        olefile = None

# Letters only, so that they never collide with page numbers.
MARK = {
    "date": "ZqDateSl",
    "footer": "ZqFootSl",
    "notes_date": "ZqDateNt",
    "notes_header": "ZqHeadNt",
    "notes_footer": "ZqFootNt",
}
PDF_FILTER = ('pdf:impress_pdf_Export:{"ExportNotesPages":{"type":"boolean","value":"true"},'
              '"ExportHiddenSlides":{"type":"boolean","value":"true"}}')


def _text(z, name):
    """A part's text, whatever Unicode encoding its byte order mark names."""
    data = z.read(name)
    for bom, codec in ((b"\xff\xfe", "utf-16"), (b"\xfe\xff", "utf-16"), (b"\xef\xbb\xbf", "utf-8-sig")):
        if data.startswith(bom):
            return data.decode(codec, "replace")
    return data.decode("utf-8", "replace")


def _rels(z, part):
    """Relationship type suffix -> list of target part names, for one part."""
    folder, name = posixpath.split(part)
    try:
        xml = _text(z, posixpath.join(folder, "_rels", name + ".rels"))
    except KeyError:
        return {}
    found = {}
    for rel in re.findall(r"<Relationship\b[^>]*>", xml):
        kind = re.search(r'Type="[^"]*/([^/"]+)"', rel).group(1)
        rid = re.search(r'Id="([^"]*)"', rel).group(1)
        target = re.search(r'Target="([^"]*)"', rel).group(1)
        target = target.lstrip("/") if target.startswith("/") else posixpath.normpath(posixpath.join(folder, target))
        found.setdefault(kind, []).append((rid, target))
    return found


def slide_rules(deck):
    """One flag per slide in show order (hidden ones included): True when the deck keeps date, footer and
    number off title slides (showSpecialPlsOnTitleSld="0") and the slide's layout is of type title."""
    with zipfile.ZipFile(deck) as z:
        main = _rels(z, "")["officeDocument"][0][1]
        xml = _text(z, main)
        targets = dict(_rels(z, main).get("slide", []))
        root = re.search(r"<(?:\w+:)?presentation\b[^>]*>", xml).group(0)
        no_title = re.search(r'showSpecialPlsOnTitleSld="(0|false)"', root) is not None
        lst = re.search(r"<(?:\w+:)?sldIdLst\b.*?</(?:\w+:)?sldIdLst>", xml, re.S)
        rules = []
        for element in re.findall(r"<(?:\w+:)?sldId\b[^>]*>", lst.group(0)) if lst else []:
            rid = re.search(r'\b\w+:id="([^"]*)"', element).group(1)
            title = False
            if no_title and rid in targets:
                layouts = _rels(z, targets[rid]).get("slideLayout", [])
                if layouts:
                    layout = _text(z, layouts[0][1])
                    head = re.search(r"<(?:\w+:)?sldLayout\b[^>]*>", layout).group(0)
                    title = re.search(r'\btype="title"', head) is not None
            rules.append(title)
        return rules


def legacy_rules(deck):
    """For a .ppt deck, per slide in show order: (title slide kept clear, has a notes page in the file).
    Walks the newest edit's persist directory to the document, its slide list and each SlideAtom."""
    with olefile.OleFileIO(deck) as ole:
        data = ole.openstream("PowerPoint Document").read()
        user = ole.openstream("Current User").read()
    header = lambda at: struct.unpack_from("<HHI", data, at)
    offsets, edit = {}, struct.unpack_from("<I", user, 16)[0]
    document_id = None
    while True:
        last, directory, doc = struct.unpack_from("<III", data, edit + 16)
        document_id = document_id or doc
        at, end = directory + 8, directory + 8 + header(directory)[2]
        while at < end:
            entry = struct.unpack_from("<I", data, at)[0]
            for k in range(entry >> 20):
                offsets.setdefault((entry & 0xFFFFF) + k, struct.unpack_from("<I", data, at + 4 + 4 * k)[0])
            at += 4 + 4 * (entry >> 20)
        if last == 0:
            break
        edit = last

    def children(at):
        pos, end = at + 8, at + 8 + header(at)[2]
        while pos < end:
            yield pos, header(pos)
            pos += 8 + header(pos)[2]

    omit, slides, notes_ids = False, [], set()
    for pos, (ver, kind, _) in children(offsets[document_id]):
        if kind == 0x03E9:
            omit = data[pos + 8 + 37] != 0
        elif kind == 0x0FF0 and ver >> 4 in (0, 2):
            for p, (_, k, _) in children(pos):
                if k == 0x03F3:
                    persist, slide_id = struct.unpack_from("<I", data, p + 8)[0], struct.unpack_from("<I", data, p + 20)[0]
                    if ver >> 4 == 0:
                        slides.append(persist)
                    elif persist in offsets and header(offsets[persist])[1] == 0x03F0:
                        notes_ids.add(slide_id)
    rules = []
    for persist in slides:
        if persist not in offsets or header(offsets[persist])[1] != 0x03EE:
            continue
        geom, notes = 1, 0
        for p, (_, k, _) in children(offsets[persist]):
            if k == 0x03EF:
                geom = struct.unpack_from("<i", data, p + 8)[0]
                notes = struct.unpack_from("<I", data, p + 8 + 16)[0]
        rules.append((omit and geom == 0, notes in notes_ids))
    return rules


# "<deck>: the footer cannot show on 3 slides: ..." / "...: the stamped header cannot show on 2 notes pages: ..."
# / "...: the date does not show in LibreOffice on 1 slide: ..." / "...: the footer may not show whole on ..."
# / "...: the slide number cannot show as set on 2 slides: ...; a text box of its own shows it ..."
WARNING = re.compile(r"the (?:stamped )?(date|footer|header|slide number|page number) "
                     r"(?:cannot show(?: as set)?|does not show in LibreOffice|may not show whole) on (\d+) "
                     r"(slides?|notes pages?)")
# "<deck>: 3 slides keep their own slide number text box ...": such a box shows whatever is stamped.
OWN_BOX = re.compile(r"(\d+) (slides?|notes pages?) keeps? (?:its|their) own "
                     r"(date|footer|header|slide number|page number) text box")


# Legacy decks whose masters lack placeholders that trelwick adds: these elements must show wherever the
# deck lets them (a warning that a master has no such placeholder means it was not added).
PLACEHOLDERS_ADDED = {
    "poi__23884_defense_FINAL_OOimport_edit.ppt": ("date", "footer", "notes_date", "notes_header", "notes_footer"),
    "poi__53446.ppt": ("date", "footer", "notes_date", "notes_header", "notes_footer"),
    "poi__numbers2.ppt": ("date", "footer"),
    "phppresentation__Sample_00_03.ppt": ("footer",),
    "phppresentation__Sample_12.ppt": ("footer",),
    "poi__49541_symbol_map.ppt": ("date", "footer"),
    "poi__customGeo.ppt": ("date", "footer", "number"),
}
# "...: the footer cannot show on 3 slides: the slide master has no footer placeholder"
NO_PLACEHOLDER = re.compile(r"the (date|footer|header|slide number|page number) cannot show on \d+ "
                            r"(slides?|notes pages?): the [a-z ]+ has no [a-z ]+ placeholder$")

# Legacy decks that must be refused rather than stamped.
REFUSED = re.compile(r"PowerPoint 95|protected by a password")


def element_key(element, pages):
    key = {"date": "date", "footer": "footer", "header": "header", "slide number": "number",
           "page number": "number"}[element]
    return ("notes_" + key) if pages.startswith("notes") else key


def without_placeholder(stderr, deck):
    """Element keys the CLI said a master has no placeholder for."""
    keys = set()
    for line in stderr.splitlines():
        if line.startswith("trelwick-cli: warning: " + deck + ": "):
            keys.update(element_key(e, p) for e, p in NO_PLACEHOLDER.findall(line))
    return keys


def explained_counts(stderr, deck):
    """Element key -> pages the CLI said it cannot show on, from its warnings about deck."""
    counts = {}
    for line in stderr.splitlines():
        if not line.startswith("trelwick-cli: warning: " + deck + ": "):
            continue
        found = WARNING.findall(line) + [(e, n, p) for n, p, e in OWN_BOX.findall(line)]
        for element, number, pages in found:
            key = element_key(element, pages)
            counts[key] = counts.get(key, 0) + int(number)
    return counts


def check_legacy_deck(rules, shown, hidden, explained):
    """Returns (problems, explanations, slide pages ok, notes pages ok) for a .ppt deck."""
    n = len(rules)
    problems, notes = [], []
    if shown is None or hidden is None:
        return ["LibreOffice produced no PDF"], [], 0, 0
    for leftover in sorted(m for m in MARK.values() if any(m in p for p in hidden)):
        problems.append("hidden: %s still shown" % leftover)
    if n == 0:
        return problems, [], 0, 0
    if len(shown) != 2 * n or len(hidden) != 2 * n:
        problems.append("pages: %d stamped / %d hidden, expected %d" % (len(shown), len(hidden), 2 * n))
        return problems, [], 0, 0
    missing = {}
    slide_ok = notes_ok = synthesised = 0
    for i, (title, has_notes) in enumerate(rules):
        number = i + 1
        numbered = count_token(shown[i], number) > count_token(hidden[i], number)
        if title:
            wrong = [k for k in ("footer", "date") if MARK[k] in shown[i]] + (["number"] if numbered else [])
            if wrong:
                problems.append("title slide %d: shows %s" % (number, ", ".join(wrong)))
            else:
                slide_ok += 1
        else:
            lacks = [k for k in ("footer", "date") if MARK[k] not in shown[i]] + ([] if numbered else ["number"])
            for k in lacks:
                missing[k] = missing.get(k, 0) + 1
            slide_ok += not lacks
        page = n + i
        lacks = [k for k in ("notes_header", "notes_footer", "notes_date") if MARK[k] not in shown[page]]
        if count_token(shown[page], number) <= count_token(hidden[page], number):
            lacks.append("notes_number")
        if not lacks:
            notes_ok += 1
        elif not has_notes:
            synthesised += 1  # LibreOffice's limit: settings reach only notes pages the file has
        else:
            for k in lacks:
                missing[k] = missing.get(k, 0) + 1
    for key in sorted(missing):
        if missing[key] > explained.get(key, 0):
            problems.append("%s missing on %d pages, %d explained" % (key, missing[key], explained.get(key, 0)))
        else:
            notes.append("%s: %d pages, as warned" % (key, missing[key]))
    if synthesised:
        notes.append("%d notes pages made up by LibreOffice" % synthesised)
    return problems, notes, slide_ok, notes_ok


def run_cli(cli, out_dir, args, inputs, jobs):
    cmd = [cli, "-o", out_dir, "-j", str(jobs)] + args + inputs
    proc = subprocess.run(cmd, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    failures = {}
    for line in proc.stderr.splitlines():
        for deck in inputs:
            if line.startswith("trelwick-cli: " + deck + ": "):
                failures[os.path.basename(deck)] = line[len("trelwick-cli: " + deck + ": "):]
    return proc.returncode, failures, proc.stderr


def render(decks, pdf_dir, work, batch, parallel):
    """Renders decks (paths) to pdf_dir/<stem>_<ext>.pdf, several decks per soffice start."""
    stage = tempfile.mkdtemp(dir=work, prefix="stage-")
    staged = []
    for deck in decks:
        stem, ext = os.path.splitext(os.path.basename(deck))
        # Decks differing only in extension would otherwise share a PDF name.
        name = os.path.join(stage, stem + "_" + ext[1:] + ext)
        os.link(deck, name) if os.stat(deck).st_dev == os.stat(stage).st_dev else shutil.copy(deck, name)
        staged.append(name)
    os.makedirs(pdf_dir, exist_ok=True)
    groups = [staged[i:i + batch] for i in range(0, len(staged), batch)]

    def convert(index_group):
        index, group = index_group
        profile = os.path.join(work, "profile-%d" % (index % parallel))
        cmd = ["soffice", "-env:UserInstallation=file://" + profile, "--headless", "--norestore",
               "--convert-to", PDF_FILTER, "--outdir", pdf_dir] + group
        try:
            subprocess.run(cmd, stdin=subprocess.DEVNULL, capture_output=True, timeout=1800)
        except subprocess.TimeoutExpired:
            pass

    # One profile per parallel lane: soffice instances must not share a profile.
    lanes = [[g for g in enumerate(groups) if g[0] % parallel == lane] for lane in range(parallel)]
    with concurrent.futures.ThreadPoolExecutor(parallel) as pool:
        list(pool.map(lambda lane: [convert(g) for g in lane], lanes))
    return {deck: os.path.join(pdf_dir, os.path.splitext(os.path.basename(s))[0] + ".pdf")
            for deck, s in zip(decks, staged)}


def pages(pdf):
    if not os.path.exists(pdf):
        return None
    text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True).stdout
    result = text.split("\f")
    if result and result[-1].strip() == "":
        result.pop()
    return result


def count_token(page, number):
    return len(re.findall(r"(?<![\d.,/:])%d(?![\d.,/:])" % number, page))


def check_deck(title_flags, shown, hidden):
    """Returns (problems, slide pages ok, notes pages ok)."""
    n = len(title_flags)
    problems = []
    if shown is None or hidden is None:
        return ["LibreOffice produced no PDF"], 0, 0
    for leftover in sorted(m for m in MARK.values() if any(m in p for p in hidden)):
        problems.append("hidden: %s still shown" % leftover)
    if n == 0:
        return problems, 0, 0
    if len(shown) != 2 * n or len(hidden) != 2 * n:
        problems.append("pages: %d stamped / %d hidden, expected %d" % (len(shown), len(hidden), 2 * n))
        return problems, 0, 0
    slide_ok = notes_ok = 0
    for i in range(n):
        number = i + 1
        numbered = count_token(shown[i], number) > count_token(hidden[i], number)
        if title_flags[i]:
            # The deck keeps date, footer and number off title slides.
            wrong = [k for k in ("footer", "date") if MARK[k] in shown[i]] + (["number"] if numbered else [])
            if wrong:
                problems.append("title slide %d: shows %s" % (number, ", ".join(wrong)))
            else:
                slide_ok += 1
        else:
            missing = [k for k in ("footer", "date") if MARK[k] not in shown[i]]
            if not numbered:
                missing.append("number %d" % number)
            if missing:
                problems.append("slide %d: no %s" % (number, ", ".join(missing)))
            else:
                slide_ok += 1
        page = n + i
        missing = [k for k in ("notes_header", "notes_footer", "notes_date") if MARK[k] not in shown[page]]
        if count_token(shown[page], number) <= count_token(hidden[page], number):
            missing.append("page number %d" % number)
        if missing:
            problems.append("notes %d: no %s" % (number, ", ".join(missing)))
        else:
            notes_ok += 1
    return problems, slide_ok, notes_ok


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True, help="path of trelwick-cli")
    parser.add_argument("--corpus", required=True, help="folder of decks (bad/ is passed over)")
    parser.add_argument("--batch", type=int, default=8, help="decks per soffice start")
    parser.add_argument("--parallel", type=int, default=2, help="soffice instances side by side")
    parser.add_argument("--keep", help="keep stamped decks and PDFs in this folder")
    parser.add_argument("decks", nargs="*", help="only these deck names")
    a = parser.parse_args()

    if not os.path.isdir(a.corpus):
        print("SKIP: corpus not found at %s (set TRELWICK_SHARED_DIR)" % a.corpus)
        return SKIP
    for tool in ("soffice", "pdftotext"):
        if shutil.which(tool) is None:
            print("SKIP: %s not installed (Debian: libreoffice-impress-nogui, poppler-utils)" % tool)
            return SKIP

    kinds = FAMILY + LEGACY
    if olefile is None:
        print("NOTE: python3-olefile not installed: legacy .ppt decks are not checked")
        kinds = FAMILY
    decks = sorted(os.path.join(a.corpus, f) for f in os.listdir(a.corpus)
                   if f.lower().endswith(kinds) and not f.startswith(("~", ".")) and (not a.decks or f in a.decks))
    work = a.keep or tempfile.mkdtemp(prefix="trelwick-render-")
    os.makedirs(work, exist_ok=True)
    try:
        shown_dir, hidden_dir = os.path.join(work, "shown"), os.path.join(work, "hidden")
        show_args = ["--date", MARK["date"], "--footer", MARK["footer"], "--slide-number",
                     "--notes-date", MARK["notes_date"], "--notes-header", MARK["notes_header"],
                     "--notes-footer", MARK["notes_footer"], "--notes-page-number"]
        jobs = os.cpu_count() or 1
        _, shown_fail, err1 = run_cli(a.cli, shown_dir, show_args, decks, jobs)
        stamped = [os.path.join(shown_dir, os.path.basename(d)) for d in decks]
        stamped = [s for s in stamped if os.path.exists(s)]
        _, hidden_fail, err2 = run_cli(a.cli, hidden_dir, [], stamped, jobs)
        hidden = [os.path.join(hidden_dir, os.path.basename(s)) for s in stamped]
        hidden = [h for h in hidden if os.path.exists(h)]

        shown_pdf = render(stamped, os.path.join(work, "pdf-shown"), work, a.batch, a.parallel)
        hidden_pdf = render(hidden, os.path.join(work, "pdf-hidden"), work, a.batch, a.parallel)

        rows, passed = [], 0
        for deck in decks:
            name = os.path.basename(deck)
            s_path, h_path = os.path.join(shown_dir, name), os.path.join(hidden_dir, name)
            if name in shown_fail and name.lower().endswith(LEGACY) and REFUSED.search(shown_fail[name]):
                rows.append((name, "-", "-", "-", "refused", "as it must be: " + shown_fail[name]))
                passed += 1
                continue
            if name in shown_fail or not os.path.exists(s_path):
                rows.append((name, "-", "-", "-", "FAIL", "stamp: " + shown_fail.get(name, "no output")))
                continue
            if name in hidden_fail or not os.path.exists(h_path):
                rows.append((name, "-", "-", "-", "FAIL", "hide: " + hidden_fail.get(name, "no output")))
                continue
            if name.lower().endswith(LEGACY):
                rules = legacy_rules(s_path)
                n = len(rules)
                problems, notes, slide_ok, notes_ok = check_legacy_deck(
                    rules, pages(shown_pdf[s_path]), pages(hidden_pdf[h_path]), explained_counts(err1, deck))
                for key in sorted(set(PLACEHOLDERS_ADDED.get(name, ())) & without_placeholder(err1, deck)):
                    problems.append("%s: no placeholder was added" % key)
                result = "FAIL" if problems else ("explained" if notes else "pass")
            else:
                flags = slide_rules(s_path)
                n = len(flags)
                problems, slide_ok, notes_ok = check_deck(flags, pages(shown_pdf[s_path]), pages(hidden_pdf[h_path]))
                notes = []
                result = "FAIL" if problems else "pass"
            clean = "no" if any(p.startswith("hidden:") for p in problems) else "yes"
            ok = not problems
            passed += ok
            said = problems + notes
            if name in PLACEHOLDERS_ADDED and not problems:
                said.insert(0, "placeholders added: " + ", ".join(PLACEHOLDERS_ADDED[name]))
            detail = "; ".join(said[:4]) + (" (+%d more)" % (len(said) - 4) if len(said) > 4 else "")
            rows.append((name, str(n), "%d/%d" % (slide_ok, n), "%d/%d" % (notes_ok, n), result,
                         "hidden clean: %s%s" % (clean, "; " + detail if detail else "")))

        header = ("deck", "slides", "slide pages", "notes pages", "result", "details")
        widths = [max(len(r[i]) for r in rows + [header]) for i in range(5)]
        fmt = "  ".join("%%-%ds" % w for w in widths) + "  %s"
        print(fmt % header)
        for r in rows:
            print(fmt % r)
        print("\n%d of %d decks pass (fully, or with every gap explained)" % (passed, len(decks)))
        if passed != len(decks) and (err1 or err2):
            print("\ntrelwick-cli said:\n" + err1 + err2)
        return 0 if passed == len(decks) else 1
    finally:
        if not a.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
