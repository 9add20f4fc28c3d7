#!/usr/bin/env python3
"""Validates every part trelwick-cli changes or adds against the PresentationML schema.

Each corpus deck is stamped with every element shown, and that result stamped again with every
element hidden. For both, each XML part that differs from the original or is new is validated with
xmllint against pml.xsd, and so is the original part; the stamped part may not bring a message the
original did not have. Markup-compatibility blocks are replaced by their fallback first (the
validator does not know them), Strict namespaces are mapped to their Transitional twins, and file
names and line numbers are dropped from the messages. Relationship and content-type parts are only
checked for being well formed.

Exit status: 0 no new message, 1 new messages or a stamping failure, 77 skipped (no corpus or xmllint).
"""
import argparse
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.dom.minidom
import zipfile

FAMILY = (".pptx", ".pptm", ".potx", ".potm", ".ppsx", ".ppsm")
SKIP = 77
MC = "http://schemas.openxmlformats.org/markup-compatibility/2006"
STRICT_TO_TRANSITIONAL = {
    "http://purl.oclc.org/ooxml/presentationml/main": "http://schemas.openxmlformats.org/presentationml/2006/main",
    "http://purl.oclc.org/ooxml/drawingml/main": "http://schemas.openxmlformats.org/drawingml/2006/main",
    "http://purl.oclc.org/ooxml/officeDocument/relationships":
        "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
    "http://purl.oclc.org/ooxml/drawingml/chart": "http://schemas.openxmlformats.org/drawingml/2006/chart",
    "http://purl.oclc.org/ooxml/drawingml/diagram": "http://schemas.openxmlformats.org/drawingml/2006/diagram",
}
# Roots the schema set describes; other parts (docProps, custom XML) are only checked for being well formed.
SCHEMA_ROOTS = {
    "http://schemas.openxmlformats.org/presentationml/2006/main",
    "http://schemas.openxmlformats.org/drawingml/2006/main",
}


def strip_alternate_content(data):
    """Replaces every mc:AlternateContent by the content of its mc:Fallback (or nothing)."""
    doc = xml.dom.minidom.parseString(data)
    while True:
        blocks = doc.getElementsByTagNameNS(MC, "AlternateContent")
        if blocks.length == 0:
            break
        block = blocks.item(0)
        parent = block.parentNode
        fallback = next((c for c in block.childNodes
                         if c.nodeType == c.ELEMENT_NODE and c.namespaceURI == MC and c.localName == "Fallback"), None)
        if fallback is not None:
            for child in list(fallback.childNodes):
                parent.insertBefore(child, block)
        parent.removeChild(block)
    return doc


def prepare(data):
    """Returns (text to validate, whether the schema covers the root) or raises on malformed XML."""
    # Parsing the bytes as stored catches a declaration that does not match the encoding used.
    text = xml.dom.minidom.parseString(data).toxml()
    for strict, transitional in STRICT_TO_TRANSITIONAL.items():
        text = text.replace(strict, transitional)
    doc = strip_alternate_content(text.encode("utf-8"))
    covered = doc.documentElement.namespaceURI in SCHEMA_ROOTS
    return doc.toxml(), covered


def validate(schema, files):
    """Messages per file (normalised), from one xmllint run over all files."""
    messages = {f: collections.Counter() for f in files}
    if not files:
        return messages
    proc = subprocess.run(["xmllint", "--noout", "--schema", schema] + files, capture_output=True, text=True)
    current = None
    for line in proc.stderr.splitlines():
        owner = next((f for f in files if line.startswith(f + ":") or line.startswith(f + " ")), None)
        if owner is not None:
            current = owner
            if line == owner + " validates" or line == owner + " fails to validate":
                continue
            line = re.sub(r"^%s:\d+: " % re.escape(owner), "", line)
        if current is not None and line.strip():
            messages[current][line.strip()] += 1
    return messages


def changed_parts(before_zip, after_zip):
    with zipfile.ZipFile(before_zip) as b, zipfile.ZipFile(after_zip) as a:
        old = {i.filename: b.read(i) for i in b.infolist() if not i.is_dir()}
        new = {i.filename: a.read(i) for i in a.infolist() if not i.is_dir()}
    return old, {name: data for name, data in new.items() if old.get(name) != data}


def check(schema, original, stamped, work):
    """Returns (parts checked, list of problems)."""
    old, changed = changed_parts(original, stamped)
    problems, files_before, files_after, checked = [], {}, {}, 0
    for index, (name, data) in enumerate(sorted(changed.items())):
        if not (name.endswith(".xml") or name.endswith(".rels")):
            continue
        try:
            after_text, covered = prepare(data)
        except Exception as e:  # malformed XML is always a new fault
            problems.append("%s: not well formed: %s" % (name, e))
            continue
        checked += 1
        if not covered:
            continue
        path = os.path.join(work, "a%d.xml" % index)
        with open(path, "w", encoding="utf-8") as f:
            f.write(after_text)
        files_after[path] = name
        if name in old:
            try:
                before_text, _ = prepare(old[name])
            except Exception:  # a malformed original has no messages to compare with
                del files_after[path]
                continue
            path = os.path.join(work, "b%d.xml" % index)
            with open(path, "w", encoding="utf-8") as f:
                f.write(before_text)
            files_before[name] = path
    before = validate(schema, list(files_before.values()))
    after = validate(schema, list(files_after))
    for path, name in files_after.items():
        base = before[files_before[name]] if name in files_before else collections.Counter()
        for message, count in (after[path] - base).items():
            problems.append("%s: %s%s" % (name, message[:400], " (x%d)" % count if count > 1 else ""))
    return checked, problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cli", required=True)
    parser.add_argument("--shared", required=True, help="folder holding corpus/ and schemas/")
    parser.add_argument("decks", nargs="*", help="only these deck names")
    a = parser.parse_args()
    corpus = os.path.join(a.shared, "corpus", "dev")
    schema = os.path.join(a.shared, "schemas", "pml.xsd")
    if not os.path.isdir(corpus) or not os.path.exists(schema):
        print("SKIP: corpus or schemas not found under %s (set TRELWICK_SHARED_DIR)" % a.shared)
        return SKIP
    if shutil.which("xmllint") is None:
        print("SKIP: xmllint not installed (Debian: libxml2-utils)")
        return SKIP

    decks = sorted(os.path.join(corpus, f) for f in os.listdir(corpus)
                   if f.lower().endswith(FAMILY) and not f.startswith(("~", ".")) and (not a.decks or f in a.decks))
    work = tempfile.mkdtemp(prefix="trelwick-schema-")
    try:
        shown_dir, hidden_dir = os.path.join(work, "shown"), os.path.join(work, "hidden")
        show = ["--date", "Schema date", "--footer", "Schema & <footer>", "--slide-number", "--notes-date", "N date",
                "--notes-header", "N header", "--notes-footer", "N footer", "--notes-page-number"]
        r1 = subprocess.run([a.cli, "-o", shown_dir] + show + decks, capture_output=True, text=True)
        stamped = [os.path.join(shown_dir, os.path.basename(d)) for d in decks]
        r2 = subprocess.run([a.cli, "-o", hidden_dir] + [s for s in stamped if os.path.exists(s)],
                            capture_output=True, text=True)
        failed, total_parts = 0, 0
        print("%-72s %6s %6s  %s" % ("deck", "parts", "new", "result"))
        for deck in decks:
            name = os.path.basename(deck)
            problems, parts = [], 0
            for label, folder in (("shown", shown_dir), ("hidden", hidden_dir)):
                out = os.path.join(folder, name)
                if not os.path.exists(out):
                    problems.append("%s: not stamped" % label)
                    continue
                scratch = tempfile.mkdtemp(dir=work)
                checked, found = check(schema, deck, out, scratch)
                parts += checked
                problems += ["%s: %s" % (label, p) for p in found]
            total_parts += parts
            failed += bool(problems)
            print("%-72s %6d %6d  %s" % (name, parts, len(problems), "FAIL" if problems else "pass"))
            for p in problems[:8]:
                print("      " + p)
            if len(problems) > 8:
                print("      ... %d more" % (len(problems) - 8))
        print("\n%d of %d decks add no schema message (%d changed or added parts checked)"
              % (len(decks) - failed, len(decks), total_parts))
        if failed and (r1.stderr or r2.stderr):
            print("\ntrelwick-cli said:\n" + r1.stderr + r2.stderr)
        return 1 if failed else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
