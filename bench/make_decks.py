#!/usr/bin/env python3
"""Writes valid .pptx decks for benchmarks: one slide master with date, footer and slide-number
placeholders, one layout, a theme, and 1 to 6 text slides each, half of them with notes slides.
--each N gives every deck N slides, each with notes.
--slides N writes one deck of N slides with notes instead (--without-notes: with none, nor a notes
master); --media-mb M one deck whose pictures and video (random, so incompressible) make up M
megabytes."""
import argparse
import os
import struct
import zipfile
import zlib

P = "http://schemas.openxmlformats.org/presentationml/2006/main"
A = "http://schemas.openxmlformats.org/drawingml/2006/main"
R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"
RT = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
CT = "application/vnd.openxmlformats-officedocument.presentationml."
DECL = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
NS = 'xmlns:a="%s" xmlns:r="%s" xmlns:p="%s"' % (A, R, P)


def rels(items):
    body = "".join('<Relationship Id="rId%d" Type="%s%s" Target="%s"/>' % (i + 1, RT, t, target)
                   for i, (t, target) in enumerate(items))
    return DECL + '<Relationships xmlns="%s">%s</Relationships>' % (PKG, body)


def shape(id_, name, ph, x, y, cx, cy, text=None):
    xfrm = '<a:xfrm><a:off x="%d" y="%d"/><a:ext cx="%d" cy="%d"/></a:xfrm><a:prstGeom prst="rect"><a:avLst/></a:prstGeom>' % (x, y, cx, cy) if cx else ""
    para = '<a:p><a:r><a:rPr lang="en-US"/><a:t>%s</a:t></a:r></a:p>' % text if text else '<a:p><a:endParaRPr lang="en-US"/></a:p>'
    return ('<p:sp><p:nvSpPr><p:cNvPr id="%d" name="%s"/><p:cNvSpPr><a:spLocks noGrp="1"/></p:cNvSpPr>'
            '<p:nvPr>%s</p:nvPr></p:nvSpPr><p:spPr>%s</p:spPr><p:txBody><a:bodyPr/><a:lstStyle/>%s</p:txBody></p:sp>'
            % (id_, name, ph, xfrm, para))


def tree(shapes):
    return ('<p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>'
            '<p:grpSpPr/>%s</p:spTree></p:cSld>' % "".join(shapes))


CLRMAP = ('bg1="lt1" tx1="dk1" bg2="lt2" tx2="dk2" accent1="accent1" accent2="accent2" accent3="accent3" '
          'accent4="accent4" accent5="accent5" accent6="accent6" hlink="hlink" folHlink="folHlink"')

MASTER = DECL + '<p:sldMaster %s>%s<p:clrMap %s/><p:sldLayoutIdLst><p:sldLayoutId id="2147483649" r:id="rId1"/></p:sldLayoutIdLst><p:txStyles><p:titleStyle><a:lvl1pPr><a:defRPr sz="4400"/></a:lvl1pPr></p:titleStyle><p:bodyStyle><a:lvl1pPr><a:defRPr sz="2800"/></a:lvl1pPr></p:bodyStyle><p:otherStyle><a:lvl1pPr><a:defRPr sz="1800"/></a:lvl1pPr></p:otherStyle></p:txStyles></p:sldMaster>' % (
    NS, tree([shape(2, "Title 1", '<p:ph type="title"/>', 457200, 274638, 8229600, 1143000),
              shape(3, "Text 2", '<p:ph type="body" idx="1"/>', 457200, 1600200, 8229600, 4525963),
              shape(4, "Date 3", '<p:ph type="dt" sz="half" idx="2"/>', 457200, 6356350, 2133600, 365125),
              shape(5, "Footer 4", '<p:ph type="ftr" sz="quarter" idx="3"/>', 3124200, 6356350, 2895600, 365125),
              shape(6, "Number 5", '<p:ph type="sldNum" sz="quarter" idx="4"/>', 6553200, 6356350, 2133600, 365125)]),
    CLRMAP)

LAYOUT = DECL + '<p:sldLayout %s type="obj" preserve="1">%s<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sldLayout>' % (
    NS, tree([shape(2, "Title 1", '<p:ph type="title"/>', 0, 0, 0, 0),
              shape(3, "Content 2", '<p:ph idx="1"/>', 0, 0, 0, 0),
              shape(4, "Date 3", '<p:ph type="dt" sz="half" idx="10"/>', 0, 0, 0, 0),
              shape(5, "Footer 4", '<p:ph type="ftr" sz="quarter" idx="11"/>', 0, 0, 0, 0),
              shape(6, "Number 5", '<p:ph type="sldNum" sz="quarter" idx="12"/>', 0, 0, 0, 0)]))

NOTES_MASTER = DECL + '<p:notesMaster %s>%s<p:clrMap %s/></p:notesMaster>' % (
    NS, tree([shape(2, "Header 1", '<p:ph type="hdr" sz="quarter"/>', 0, 0, 2971800, 457200),
              shape(3, "Date 2", '<p:ph type="dt" idx="1"/>', 3884613, 0, 2971800, 457200),
              shape(4, "Notes 3", '<p:ph type="body" sz="quarter" idx="3"/>', 685800, 4343400, 5486400, 4114800),
              shape(5, "Footer 4", '<p:ph type="ftr" sz="quarter" idx="4"/>', 0, 8685213, 2971800, 457200),
              shape(6, "Number 5", '<p:ph type="sldNum" sz="quarter" idx="5"/>', 3884613, 8685213, 2971800, 457200)]),
    CLRMAP)


def solid(color):
    return '<a:solidFill><a:schemeClr val="%s"/></a:solidFill>' % color


THEME = DECL + ('<a:theme xmlns:a="%s" name="Bench"><a:themeElements><a:clrScheme name="Bench">'
                '<a:dk1><a:srgbClr val="000000"/></a:dk1><a:lt1><a:srgbClr val="FFFFFF"/></a:lt1>'
                '<a:dk2><a:srgbClr val="1F497D"/></a:dk2><a:lt2><a:srgbClr val="EEECE1"/></a:lt2>'
                '<a:accent1><a:srgbClr val="4F81BD"/></a:accent1><a:accent2><a:srgbClr val="C0504D"/></a:accent2>'
                '<a:accent3><a:srgbClr val="9BBB59"/></a:accent3><a:accent4><a:srgbClr val="8064A2"/></a:accent4>'
                '<a:accent5><a:srgbClr val="4BACC6"/></a:accent5><a:accent6><a:srgbClr val="F79646"/></a:accent6>'
                '<a:hlink><a:srgbClr val="0000FF"/></a:hlink><a:folHlink><a:srgbClr val="800080"/></a:folHlink>'
                '</a:clrScheme><a:fontScheme name="Bench">'
                '<a:majorFont><a:latin typeface="Liberation Sans"/><a:ea typeface=""/><a:cs typeface=""/></a:majorFont>'
                '<a:minorFont><a:latin typeface="Liberation Sans"/><a:ea typeface=""/><a:cs typeface=""/></a:minorFont>'
                '</a:fontScheme><a:fmtScheme name="Bench"><a:fillStyleLst>%s</a:fillStyleLst><a:lnStyleLst>%s</a:lnStyleLst>'
                '<a:effectStyleLst>%s</a:effectStyleLst><a:bgFillStyleLst>%s</a:bgFillStyleLst></a:fmtScheme>'
                '</a:themeElements></a:theme>') % (
    A, solid("phClr") * 3, ('<a:ln w="9525">%s</a:ln>' % solid("phClr")) * 3,
    '<a:effectStyle><a:effectLst/></a:effectStyle>' * 3, solid("phClr") * 3)


def slide(number, paragraphs, extra=""):
    body = "".join('<a:p><a:r><a:rPr lang="en-US"/><a:t>%s</a:t></a:r></a:p>' % p for p in paragraphs)
    sp = shape(2, "Title 1", '<p:ph type="title"/>', 0, 0, 0, 0, "Slide %d" % number)
    sp += ('<p:sp><p:nvSpPr><p:cNvPr id="3" name="Content 2"/><p:cNvSpPr><a:spLocks noGrp="1"/></p:cNvSpPr>'
           '<p:nvPr><p:ph idx="1"/></p:nvPr></p:nvSpPr><p:spPr/><p:txBody><a:bodyPr/><a:lstStyle/>%s</p:txBody></p:sp>'
           % body)
    return DECL + '<p:sld %s>%s<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sld>' % (NS, tree([sp + extra]))


def notes(text):
    return DECL + '<p:notes %s>%s<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:notes>' % (
        NS, tree([shape(2, "Slide Image 1", '<p:ph type="sldImg"/>', 0, 0, 0, 0),
                  shape(3, "Notes 2", '<p:ph type="body" idx="1"/>', 0, 0, 0, 0, text)]))


def png(size, seed):
    """A valid PNG of about size bytes of noise, stored without compression like a photo would be."""
    width = 1024
    height = max(1, size // (width * 3 + 1))
    raw = os.urandom(height * (width * 3 + 1))
    rows = bytearray(raw)
    for y in range(height):  # filter byte 0 in front of every row
        rows[y * (width * 3 + 1)] = 0

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(bytes(rows), 0)) + chunk(b"IEND", b""))


PIC = ('<p:pic><p:nvPicPr><p:cNvPr id="4" name="Picture 3"/><p:cNvPicPr/><p:nvPr/></p:nvPicPr>'
       '<p:blipFill><a:blip r:embed="rId%d"/><a:stretch><a:fillRect/></a:stretch></p:blipFill>'
       '<p:spPr><a:xfrm><a:off x="457200" y="1600200"/><a:ext cx="4114800" cy="3086100"/></a:xfrm>'
       '<a:prstGeom prst="rect"><a:avLst/></a:prstGeom></p:spPr></p:pic>')


def write_deck(path, index, slides=None, media_mb=0, without_notes=False):
    with_notes = (index % 2 == 0 or slides is not None) and not without_notes
    slides = slides or 1 + index % 6
    pictures = 0
    if media_mb:
        pictures = min(slides, 24)
        media = {}
        video_bytes = media_mb * 1000000 // 4
        picture_bytes = (media_mb * 1000000 - video_bytes) // pictures
    ct = ['<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>',
          '<Default Extension="xml" ContentType="application/xml"/>',
          '<Override PartName="/ppt/presentation.xml" ContentType="%spresentation.main+xml"/>' % CT,
          '<Override PartName="/ppt/slideMasters/slideMaster1.xml" ContentType="%sslideMaster+xml"/>' % CT,
          '<Override PartName="/ppt/slideLayouts/slideLayout1.xml" ContentType="%sslideLayout+xml"/>' % CT,
          '<Override PartName="/ppt/theme/theme1.xml" ContentType="application/vnd.openxmlformats-officedocument.theme+xml"/>']
    if media_mb:
        ct.append('<Default Extension="png" ContentType="image/png"/>')
        ct.append('<Default Extension="mp4" ContentType="video/mp4"/>')
    pres_rels = [("slideMaster", "slideMasters/slideMaster1.xml"), ("theme", "theme/theme1.xml")]
    sld_ids = ""
    parts = {}
    for s in range(1, slides + 1):
        pres_rels.append(("slide", "slides/slide%d.xml" % s))
        sld_ids += '<p:sldId id="%d" r:id="rId%d"/>' % (255 + s, len(pres_rels))
        ct.append('<Override PartName="/ppt/slides/slide%d.xml" ContentType="%sslide+xml"/>' % (s, CT))
        lines = ["Deck %d, point %d of slide %d" % (index, k, s) for k in range(1, 2 + (index + s) % 5)]
        slide_rels = [("slideLayout", "../slideLayouts/slideLayout1.xml")]
        picture = ""
        if s <= pictures:
            slide_rels.append(("image", "../media/image%d.png" % s))
            media["ppt/media/image%d.png" % s] = png(picture_bytes, s)
            picture = PIC % len(slide_rels)
            if s == 1:
                slide_rels.append(("video", "../media/media1.mp4"))
                media["ppt/media/media1.mp4"] = os.urandom(video_bytes)
        parts["ppt/slides/slide%d.xml" % s] = slide(s, lines, picture)
        if with_notes:
            slide_rels.append(("notesSlide", "../notesSlides/notesSlide%d.xml" % s))
            parts["ppt/notesSlides/notesSlide%d.xml" % s] = notes("Speaker notes for slide %d" % s)
            parts["ppt/notesSlides/_rels/notesSlide%d.xml.rels" % s] = rels(
                [("notesMaster", "../notesMasters/notesMaster1.xml"), ("slide", "../slides/slide%d.xml" % s)])
            ct.append('<Override PartName="/ppt/notesSlides/notesSlide%d.xml" ContentType="%snotesSlide+xml"/>' % (s, CT))
        parts["ppt/slides/_rels/slide%d.xml.rels" % s] = rels(slide_rels)
    notes_id = ""
    if with_notes:
        pres_rels.append(("notesMaster", "notesMasters/notesMaster1.xml"))
        notes_id = '<p:notesMasterIdLst><p:notesMasterId r:id="rId%d"/></p:notesMasterIdLst>' % len(pres_rels)
        parts["ppt/notesMasters/notesMaster1.xml"] = NOTES_MASTER
        parts["ppt/notesMasters/_rels/notesMaster1.xml.rels"] = rels([("theme", "../theme/theme2.xml")])
        parts["ppt/theme/theme2.xml"] = THEME
        ct.append('<Override PartName="/ppt/notesMasters/notesMaster1.xml" ContentType="%snotesMaster+xml"/>' % CT)
        ct.append('<Override PartName="/ppt/theme/theme2.xml" ContentType="application/vnd.openxmlformats-officedocument.theme+xml"/>')
    parts["[Content_Types].xml"] = DECL + '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">%s</Types>' % "".join(ct)
    parts["_rels/.rels"] = rels([("officeDocument", "ppt/presentation.xml")])
    parts["ppt/presentation.xml"] = DECL + (
        '<p:presentation %s><p:sldMasterIdLst><p:sldMasterId id="2147483648" r:id="rId1"/></p:sldMasterIdLst>%s'
        '<p:sldIdLst>%s</p:sldIdLst><p:sldSz cx="9144000" cy="6858000" type="screen4x3"/><p:notesSz cx="6858000" cy="9144000"/>'
        '</p:presentation>') % (NS, notes_id, sld_ids)
    parts["ppt/_rels/presentation.xml.rels"] = rels(pres_rels)
    parts["ppt/slideMasters/slideMaster1.xml"] = MASTER
    parts["ppt/slideMasters/_rels/slideMaster1.xml.rels"] = rels([("slideLayout", "../slideLayouts/slideLayout1.xml"),
                                                                 ("theme", "../theme/theme1.xml")])
    parts["ppt/slideLayouts/slideLayout1.xml"] = LAYOUT
    parts["ppt/slideLayouts/_rels/slideLayout1.xml.rels"] = rels([("slideMaster", "../slideMasters/slideMaster1.xml")])
    parts["ppt/theme/theme1.xml"] = THEME
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        # The content types part comes first, as Office writes it.
        z.writestr("[Content_Types].xml", parts.pop("[Content_Types].xml"))
        for name in sorted(parts):
            z.writestr(name, parts[name])
        if media_mb:
            for name in sorted(media):
                z.writestr(name, media[name], zipfile.ZIP_STORED)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--count", type=int, default=200)
    parser.add_argument("--slides", type=int, help="one deck with this many slides, each with notes")
    parser.add_argument("--each", type=int, help="slides of every one of the --count decks, each with notes")
    parser.add_argument("--media-mb", type=int, default=0, help="one deck holding this many MB of media")
    parser.add_argument("--without-notes", action="store_true",
                        help="the --slides deck without notes pages or notes master (the stamp makes them)")
    a = parser.parse_args()
    os.makedirs(a.folder, exist_ok=True)
    if a.slides or a.media_mb:
        name = "slides-%d.pptx" % a.slides if a.slides else "media-%dMB.pptx" % a.media_mb
        write_deck(os.path.join(a.folder, name), 0, a.slides or 24, a.media_mb, a.without_notes)
        return
    for i in range(a.count):
        write_deck(os.path.join(a.folder, "generated-%03d.pptx" % i), i, a.each)


if __name__ == "__main__":
    main()
