#!/usr/bin/env python3
"""Writes the fuzz seeds: decks of the shared corpus as part lists ("TRWZ" format, see StampOneInput.cpp)
with media, thumbnails and document properties left out, and a few raw zip files.

usage: make_seeds.py CORPUS_DEV_FOLDER OUTPUT_FOLDER
"""
import io
import re
import sys
import zipfile
from pathlib import Path

DECKS = [
    "python-pptx__sld-notes.pptx",
    "onlyoffice-templates__new.pptx",
    "openxmlsdk___HC_notes-Notes-showMasterPhAnim.pptx",
    "poi__bug58144-headers-footers-2007.pptx",
    "pandoc__speaker-notes-output.pptx",
    "poi__49386-null_dates.pptx",
    "python-pptx__ph-inherit-props.pptx",
]
DROP = re.compile(r"^(docProps/|ppt/media/|ppt/printerSettings/|ppt/embeddings/|.*\.(jpe?g|png|emf|wmf|bin)$)", re.I)


def part_list(deck: Path) -> bytes:
    out = io.BytesIO()
    out.write(b"TRWZ\n")
    with zipfile.ZipFile(deck) as z:
        for info in z.infolist():
            if DROP.match(info.filename):
                continue
            data = z.read(info)
            # Layouts beyond the first two only repeat the same structure.
            m = re.match(r"ppt/slideLayouts/(_rels/)?slideLayout(\d+)\.xml", info.filename)
            if m and int(m.group(2)) > 2:
                continue
            if info.filename.endswith(".rels"):
                data = re.sub(rb'<Relationship [^>]*slideLayout([3-9]|\d\d+)\.xml"[^>]*/>', b"", data)
            out.write(b"@@" + info.filename.encode() + b"\n" + data + b"\n")
    return out.getvalue()


def main() -> None:
    corpus, target = Path(sys.argv[1]), Path(sys.argv[2])
    target.mkdir(parents=True, exist_ok=True)
    for name in DECKS:
        deck = corpus / name
        if deck.exists():
            (target / (deck.stem + ".trwz")).write_bytes(part_list(deck))
    # The smallest real decks as raw bytes, so that the zip layer is mutated too.
    for deck in sorted(corpus.glob("*.pptx"), key=lambda p: p.stat().st_size)[:2]:
        (target / deck.name).write_bytes(deck.read_bytes())


if __name__ == "__main__":
    main()
