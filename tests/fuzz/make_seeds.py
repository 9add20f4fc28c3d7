#!/usr/bin/env python3
"""Writes the fuzz seeds: decks of the shared corpus as part lists ("TRWZ" format, see StampOneInput.cpp)
with media, thumbnails and document properties left out, a few raw zip files, and legacy .ppt decks as
their two PowerPoint streams ("TRWP" format), written here from records so that no third-party file is
copied.

usage: make_seeds.py CORPUS_DEV_FOLDER OUTPUT_FOLDER
"""
import io
import re
import struct
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


def rec(rtype, body=b"", instance=0, container=False):
    """One record: header (version 0xF for containers, instance) and body."""
    return struct.pack("<HHI", instance << 4 | (0xF if container else 0), rtype, len(body)) + body


def cont(rtype, *children, instance=0):
    return rec(rtype, b"".join(children), instance, True)


def cstring(text, instance):
    return rec(0x0FBA, text.encode("utf-16-le"), instance)


def headers_footers(instance, flags, footer="", header="", date=""):
    texts = [(date, 0), (header, 1), (footer, 2)]
    return cont(0x0FD9, rec(0x0FDA, struct.pack("<hH", 0, flags)),
                *[cstring(t, i) for t, i in texts if t], instance=instance)


def placeholder(shape_id, placement, field, round_trip=False):
    """A text shape on placement (7 date, 8 number, 9 footer, 10 header) holding "*" and a field atom."""
    data = [rec(0x0BC3, struct.pack("<iBBH", 0, placement, 0, 0))]
    if round_trip:
        data.append(rec(0x0420, bytes([placement])))
    text = cont(0xF00D, rec(0x0F9F, struct.pack("<I", 4)), rec(0x0FA0, "*".encode("utf-16-le")),
                rec(field, struct.pack("<i", 0)))
    return cont(0xF004, rec(0xF00A, struct.pack("<II", shape_id, 0xA00), 2), cont(0xF011, *data), text)


def drawing(*shapes):
    group = cont(0xF003, *shapes)
    return cont(0x040C, cont(0xF002, rec(0xF008, struct.pack("<II", len(shapes), 0x400 + len(shapes))), group))


def slide_atom(geom, master_id, notes_id):
    return rec(0x03EF, struct.pack("<i8sIIHH", geom, bytes(8), master_id, notes_id, 7, 0), 2)


def persist(persist_id, slide_id):
    return rec(0x03F3, struct.pack("<IIiII", persist_id, 4, 0, slide_id, 0))


def legacy_streams(round_trip=False, second_edit=False, title_master=False):
    """The Current User and PowerPoint Document streams of a one-slide deck with notes, in TRWP form."""
    document_atom = struct.pack("<iiiiiiIIHHBBBB", 5760, 4320, 4320, 5760, 1, 2, 3, 0, 1, 0, 0, 0, 0, 1)
    masters = [persist(2, 0x80000000)] + ([persist(6, 0x80000001)] if title_master else [])
    document = cont(0x03E8, rec(0x03E9, document_atom, 1),
                    cont(0x0FF0, *masters, instance=1),
                    headers_footers(3, 0x2D, footer="Old footer", date="1 Jan"),
                    headers_footers(4, 0x3D, footer="Notes footer", header="Notes header"),
                    cont(0x0FF0, persist(4, 256), instance=0),
                    cont(0x0FF0, persist(5, 256), instance=2),
                    rec(0x03EA))
    master_shapes = [placeholder(0x401, 7, 0x0FF8), placeholder(0x402, 9, 0x0FFA), placeholder(0x403, 8, 0x0FD8)]
    objects = {
        1: document,
        2: cont(0x03F8, slide_atom(1, 0, 0), drawing(*master_shapes)),
        3: cont(0x03F0, rec(0x03F1, struct.pack("<IHH", 0x80000000, 0, 0), 1),
                drawing(placeholder(0x401, 10, 0x0FF9), placeholder(0x402, 9, 0x0FFA))),
        4: cont(0x03EE, slide_atom(0, 0x80000001 if title_master else 0x80000000, 256),
                headers_footers(0, 0x29, footer="Slide's own footer"),
                drawing(*([placeholder(0x801, 9, 0x0FFA, True)] if round_trip else []))),
        5: cont(0x03F0, rec(0x03F1, struct.pack("<IHH", 256, 0, 0), 1), headers_footers(0, 0x3D, footer="Own")),
    }
    if title_master:
        objects[6] = cont(0x03EE, slide_atom(2, 0x80000000, 0), drawing(placeholder(0x401, 9, 0x0FFA)))

    stream = b""
    last_edit = 0

    def commit(ids):
        nonlocal stream, last_edit
        offsets = {}
        for i in ids:
            offsets[i] = len(stream)
            stream += objects[i]
        entries = b"".join(struct.pack("<II", i | 1 << 20, offsets[i]) for i in sorted(ids))
        directory = len(stream)
        stream += rec(0x1772, entries)
        edit = struct.pack("<IHBBIIIIHH", 256, 0, 0, 3, last_edit, directory, 1, max(objects), 1, 0)
        last_edit = len(stream)
        stream += rec(0x0FF5, edit)

    commit(sorted(objects))
    if second_edit:
        objects[1] = objects[1].replace("Old footer".encode("utf-16-le"), "New footer".encode("utf-16-le"))
        commit([1])
    user = rec(0x0FF6, struct.pack("<IIIHHBBH", 0x14, 0xE391C05F, last_edit, 4, 0x03F4, 3, 0, 0) + b"user" +
               struct.pack("<I", 8))
    return b"TRWP\n" + struct.pack("<I", len(user)) + user + stream


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
    # Legacy decks: per-page settings everywhere, a PowerPoint 2007 footer box, a fast-saved second
    # edit, a title master.
    (target / "legacy-minimal.trwp").write_bytes(legacy_streams())
    (target / "legacy-round-trip-footer.trwp").write_bytes(legacy_streams(round_trip=True))
    (target / "legacy-two-edits.trwp").write_bytes(legacy_streams(second_edit=True))
    (target / "legacy-title-master.trwp").write_bytes(legacy_streams(title_master=True))


if __name__ == "__main__":
    main()
