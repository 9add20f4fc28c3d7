#!/usr/bin/env python3
"""Writes the sample decks shipped in the program's Samples folder.

Only the standard library is used: each deck is a small, complete PresentationML package (slide masters
with date, footer and slide-number placeholders, layouts, slides, and for one deck a notes master with
speaker notes). The zip entries carry a fixed time stamp, so running this again gives identical files.

    python3 filelist/samples/make_samples.py [output folder]   (default: this script's folder)
"""
import os
import sys
import zipfile
from xml.sax.saxutils import escape

NS = ('xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" '
      'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships" '
      'xmlns:p="http://schemas.openxmlformats.org/presentationml/2006/main"')
DECL = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
REL = 'http://schemas.openxmlformats.org/officeDocument/2006/relationships/'
CT = 'application/vnd.openxmlformats-officedocument.presentationml.'

SLIDE_W, SLIDE_H = 9144000, 6858000
NOTES_W, NOTES_H = 6858000, 9144000


def rels(items):
    body = ''.join(f'<Relationship Id="{rid}" Type="{typ}" Target="{target}"/>' for rid, typ, target in items)
    return (DECL + '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            + body + '</Relationships>')


def xfrm(x, y, cx, cy):
    return f'<a:xfrm><a:off x="{x}" y="{y}"/><a:ext cx="{cx}" cy="{cy}"/></a:xfrm>'


def group_header():
    return ('<p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>'
            '<p:grpSpPr>' + '<a:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/>'
            '<a:chOff x="0" y="0"/><a:chExt cx="0" cy="0"/></a:xfrm></p:grpSpPr>')


def paragraphs(lines, size=None, align=None):
    out = ''
    for line in lines:
        ppr = f'<a:pPr marL="0" indent="0" algn="{align}"><a:buNone/></a:pPr>' if align else ''
        rpr = f'<a:rPr lang="en-US" sz="{size}" dirty="0"/>' if size else '<a:rPr lang="en-US" dirty="0"/>'
        out += f'<a:p>{ppr}<a:r>{rpr}<a:t>{escape(line)}</a:t></a:r></a:p>'
    return out


def field(kind, text, align):
    ids = {'slidenum': '{6A1C2E43-1F0B-4C5D-9A6E-2B8F3D7C1E01}',
           'datetime1': '{6A1C2E43-1F0B-4C5D-9A6E-2B8F3D7C1E02}'}
    return (f'<a:p><a:pPr algn="{align}"/><a:fld id="{ids[kind]}" type="{kind}"><a:rPr lang="en-US"/>'
            f'<a:t>{text}</a:t></a:fld><a:endParaRPr lang="en-US"/></a:p>')


def shape(sid, name, ph, geometry='', body=None, anchor=None, locks='<a:spLocks noGrp="1"/>'):
    sppr = f'<p:spPr>{geometry}<a:prstGeom prst="rect"><a:avLst/></a:prstGeom></p:spPr>' if geometry \
        else '<p:spPr/>'
    tx = ''
    if body is not None:
        anchor_attr = f' anchor="{anchor}"' if anchor else ''
        tx = f'<p:txBody><a:bodyPr vert="horz"{anchor_attr}/><a:lstStyle/>{body}</p:txBody>'
    return (f'<p:sp><p:nvSpPr><p:cNvPr id="{sid}" name="{name}"/><p:cNvSpPr>{locks}</p:cNvSpPr>'
            f'<p:nvPr>{ph}</p:nvPr></p:nvSpPr>{sppr}{tx}</p:sp>')


def footer_shapes(first_id, with_geometry, w, h):
    """Date, footer and slide-number placeholders along the bottom edge."""
    y, ch = h - 457200 - 365125, 365125
    g = (lambda x, cx: xfrm(x, y, cx, ch)) if with_geometry else (lambda x, cx: '')
    return (shape(first_id, 'Date Placeholder', '<p:ph type="dt" sz="half" idx="10"/>',
                  g(457200, 2133600), field('datetime1', '12/7/2026', 'l'), 'ctr')
            + shape(first_id + 1, 'Footer Placeholder', '<p:ph type="ftr" sz="quarter" idx="11"/>',
                    g(3124200, 2895600), '<a:p><a:pPr algn="ctr"/><a:endParaRPr lang="en-US"/></a:p>', 'ctr')
            + shape(first_id + 2, 'Slide Number Placeholder', '<p:ph type="sldNum" sz="quarter" idx="12"/>',
                    g(w - 457200 - 2133600, 2133600), field('slidenum', '&#8249;#&#8250;', 'r'), 'ctr'))


def theme(name, accent, major='Liberation Sans', minor='Liberation Serif'):
    colours = [('dk1', '<a:sysClr val="windowText" lastClr="000000"/>'),
               ('lt1', '<a:sysClr val="window" lastClr="FFFFFF"/>'),
               ('dk2', '<a:srgbClr val="1F2A44"/>'), ('lt2', '<a:srgbClr val="E7E6E6"/>'),
               ('accent1', f'<a:srgbClr val="{accent}"/>'), ('accent2', '<a:srgbClr val="ED7D31"/>'),
               ('accent3', '<a:srgbClr val="A5A5A5"/>'), ('accent4', '<a:srgbClr val="FFC000"/>'),
               ('accent5', '<a:srgbClr val="5B9BD5"/>'), ('accent6', '<a:srgbClr val="70AD47"/>'),
               ('hlink', '<a:srgbClr val="0563C1"/>'), ('folHlink', '<a:srgbClr val="954F72"/>')]
    clr = ''.join(f'<a:{n}>{v}</a:{n}>' for n, v in colours)
    fill = '<a:solidFill><a:schemeClr val="phClr"/></a:solidFill>'
    line = ('<a:ln w="{}" cap="flat" cmpd="sng" algn="ctr"><a:solidFill><a:schemeClr val="phClr"/>'
            '</a:solidFill><a:prstDash val="solid"/><a:miter lim="800000"/></a:ln>')
    return (DECL + f'<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" name="{name}">'
            f'<a:themeElements><a:clrScheme name="{name}">{clr}</a:clrScheme>'
            f'<a:fontScheme name="{name}"><a:majorFont><a:latin typeface="{major}"/><a:ea typeface=""/>'
            f'<a:cs typeface=""/></a:majorFont><a:minorFont><a:latin typeface="{minor}"/><a:ea typeface=""/>'
            '<a:cs typeface=""/></a:minorFont></a:fontScheme>'
            f'<a:fmtScheme name="{name}"><a:fillStyleLst>{fill * 3}</a:fillStyleLst>'
            f'<a:lnStyleLst>{line.format(6350)}{line.format(12700)}{line.format(19050)}</a:lnStyleLst>'
            '<a:effectStyleLst>' + '<a:effectStyle><a:effectLst/></a:effectStyle>' * 3 + '</a:effectStyleLst>'
            f'<a:bgFillStyleLst>{fill * 3}</a:bgFillStyleLst></a:fmtScheme></a:themeElements>'
            '<a:objectDefaults/><a:extraClrSchemeLst/></a:theme>')


CLRMAP = ('<p:clrMap bg1="lt1" tx1="dk1" bg2="lt2" tx2="dk2" accent1="accent1" accent2="accent2" '
          'accent3="accent3" accent4="accent4" accent5="accent5" accent6="accent6" hlink="hlink" '
          'folHlink="folHlink"/>')


def level_styles(size, colour, bullets):
    out = ''
    for lvl in range(1, 4):
        bu = ('<a:buFont typeface="Arial"/><a:buChar char="&#8226;"/>' if bullets else '<a:buNone/>')
        mar = f' marL="{342900 * lvl}" indent="-342900"' if bullets else ''
        out += (f'<a:lvl{lvl}pPr{mar} algn="l">{bu}<a:defRPr sz="{size - 400 * (lvl - 1)}">'
                f'<a:solidFill>{colour}</a:solidFill><a:latin typeface="+mn-lt"/></a:defRPr></a:lvl{lvl}pPr>')
    return out


def slide_master(background, title_colour, text_colour, layout_ids, title_text):
    spt = (group_header()
           + shape(2, 'Title Placeholder', '<p:ph type="title"/>', xfrm(457200, 274638, 8229600, 1143000),
                   paragraphs([title_text]), 'ctr')
           + shape(3, 'Text Placeholder', '<p:ph type="body" idx="1"/>', xfrm(457200, 1600200, 8229600, 4525963),
                   paragraphs(['Click to edit Master text styles']), None)
           + footer_shapes(4, True, SLIDE_W, SLIDE_H))
    ids = ''.join(f'<p:sldLayoutId id="{lid}" r:id="rId{i + 1}"/>' for i, lid in enumerate(layout_ids))
    title_style = (f'<a:lvl1pPr algn="l"><a:buNone/><a:defRPr sz="4000" b="1"><a:solidFill>{title_colour}'
                   '</a:solidFill><a:latin typeface="+mj-lt"/></a:defRPr></a:lvl1pPr>')
    return (DECL + f'<p:sldMaster {NS}><p:cSld><p:bg><p:bgPr><a:solidFill>{background}</a:solidFill>'
            f'<a:effectLst/></p:bgPr></p:bg><p:spTree>{spt}</p:spTree></p:cSld>{CLRMAP}'
            f'<p:sldLayoutIdLst>{ids}</p:sldLayoutIdLst><p:txStyles><p:titleStyle>{title_style}</p:titleStyle>'
            f'<p:bodyStyle>{level_styles(2800, text_colour, True)}</p:bodyStyle>'
            f'<p:otherStyle>{level_styles(1800, text_colour, False)}</p:otherStyle></p:txStyles></p:sldMaster>')


def slide_layout(kind):
    if kind == 'title':
        name, typ = 'Title Slide', 'title'
        spt = (shape(2, 'Title 1', '<p:ph type="ctrTitle"/>', xfrm(685800, 2130425, 7772400, 1470025),
                     paragraphs(['Click to edit Master title style'], align='ctr'), 'ctr')
               + shape(3, 'Subtitle 2', '<p:ph type="subTitle" idx="1"/>', xfrm(1371600, 3886200, 6400800, 1752600),
                       paragraphs(['Click to edit Master subtitle style'], align='ctr'), None))
    else:
        name, typ = 'Title and Content', 'obj'
        spt = (shape(2, 'Title 1', '<p:ph type="title"/>', '', paragraphs(['Click to edit Master title style']))
               + shape(3, 'Content Placeholder 2', '<p:ph idx="1"/>', '',
                       paragraphs(['Click to edit Master text styles'])))
    spt = group_header() + spt + footer_shapes(4, False, SLIDE_W, SLIDE_H)
    return (DECL + f'<p:sldLayout {NS} type="{typ}" preserve="1"><p:cSld name="{name}"><p:spTree>{spt}'
            '</p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sldLayout>')


def slide(kind, title, lines):
    if kind == 'title':
        spt = (shape(2, 'Title 1', '<p:ph type="ctrTitle"/>', '', paragraphs([title], align='ctr'))
               + shape(3, 'Subtitle 2', '<p:ph type="subTitle" idx="1"/>', '', paragraphs(lines, align='ctr')))
    else:
        spt = (shape(2, 'Title 1', '<p:ph type="title"/>', '', paragraphs([title]))
               + shape(3, 'Content Placeholder 2', '<p:ph idx="1"/>', '', paragraphs(lines)))
    return (DECL + f'<p:sld {NS}><p:cSld><p:spTree>{group_header()}{spt}</p:spTree></p:cSld>'
            '<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sld>')


def notes_master():
    w, h = NOTES_W, NOTES_H
    spt = (group_header()
           + shape(2, 'Header Placeholder', '<p:ph type="hdr" sz="quarter"/>', xfrm(0, 0, 2971800, 458788),
                   '<a:p><a:endParaRPr lang="en-US"/></a:p>', 't')
           + shape(3, 'Date Placeholder', '<p:ph type="dt" idx="1"/>', xfrm(3884613, 0, 2971800, 458788),
                   field('datetime1', '12/7/2026', 'r'), 't')
           + shape(4, 'Slide Image Placeholder', '<p:ph type="sldImg" idx="2"/>',
                   xfrm(1143000, 1143000, 4572000, 3429000), None,
                   locks='<a:spLocks noGrp="1" noRot="1" noChangeAspect="1"/>')
           + shape(5, 'Notes Placeholder', '<p:ph type="body" sz="quarter" idx="3"/>',
                   xfrm(685800, 4800600, 5486400, 3771900), paragraphs(['Click to edit Master text styles']), None)
           + shape(6, 'Footer Placeholder', '<p:ph type="ftr" sz="quarter" idx="4"/>',
                   xfrm(0, h - 458787, 2971800, 458787), '<a:p><a:endParaRPr lang="en-US"/></a:p>', 'b')
           + shape(7, 'Slide Number Placeholder', '<p:ph type="sldNum" sz="quarter" idx="5"/>',
                   xfrm(3884613, h - 458787, 2971800, 458787), field('slidenum', '&#8249;#&#8250;', 'r'), 'b'))
    style = ''.join(f'<a:lvl{n}pPr marL="{457200 * (n - 1)}" algn="l"><a:defRPr sz="1200"><a:solidFill>'
                    f'<a:schemeClr val="tx1"/></a:solidFill><a:latin typeface="+mn-lt"/></a:defRPr></a:lvl{n}pPr>'
                    for n in range(1, 4))
    return (DECL + f'<p:notesMaster {NS}><p:cSld><p:bg><p:bgRef idx="1001"><a:schemeClr val="bg1"/></p:bgRef>'
            f'</p:bg><p:spTree>{spt}</p:spTree></p:cSld>{CLRMAP}<p:notesStyle>{style}</p:notesStyle>'
            '</p:notesMaster>')


def notes_slide(text_lines):
    spt = (group_header()
           + shape(2, 'Slide Image Placeholder 1', '<p:ph type="sldImg"/>', '', None,
                   locks='<a:spLocks noGrp="1" noRot="1" noChangeAspect="1"/>')
           + shape(3, 'Notes Placeholder 2', '<p:ph type="body" idx="1"/>', '', paragraphs(text_lines)))
    return (DECL + f'<p:notes {NS}><p:cSld><p:spTree>{spt}</p:spTree></p:cSld>'
            '<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:notes>')


def write_deck(path, title, masters, slides):
    """masters: list of (background, title colour, text colour, accent); slides: (master index, kind,
    title, lines, notes or None)."""
    files = {}
    overrides = [('/ppt/presentation.xml', CT + 'presentation.main+xml'),
                 ('/ppt/presProps.xml', CT + 'presProps+xml'), ('/ppt/viewProps.xml', CT + 'viewProps+xml'),
                 ('/ppt/tableStyles.xml', CT + 'tableStyles+xml'),
                 ('/docProps/core.xml', 'application/vnd.openxmlformats-package.core-properties+xml'),
                 ('/docProps/app.xml', 'application/vnd.openxmlformats-officedocument.extended-properties+xml')]
    pres_rels = []
    master_ids, layout_no, theme_no, next_id = '', 0, 0, 2147483648
    layout_of = {}
    for m, (bg, tcol, xcol, accent) in enumerate(masters, start=1):
        theme_no += 1
        files[f'ppt/theme/theme{theme_no}.xml'] = theme(f'Trelwick Sample {theme_no}', accent)
        overrides.append((f'/ppt/theme/theme{theme_no}.xml', 'application/vnd.openxmlformats-officedocument.theme+xml'))
        master_id = next_id
        layout_ids = [master_id + 1, master_id + 2]
        next_id = master_id + 3
        mrels = []
        for i, kind in enumerate(('title', 'obj')):
            layout_no += 1
            layout_of[(m - 1, kind)] = layout_no
            files[f'ppt/slideLayouts/slideLayout{layout_no}.xml'] = slide_layout(kind)
            files[f'ppt/slideLayouts/_rels/slideLayout{layout_no}.xml.rels'] = rels(
                [('rId1', REL + 'slideMaster', f'../slideMasters/slideMaster{m}.xml')])
            overrides.append((f'/ppt/slideLayouts/slideLayout{layout_no}.xml', CT + 'slideLayout+xml'))
            mrels.append((f'rId{i + 1}', REL + 'slideLayout', f'../slideLayouts/slideLayout{layout_no}.xml'))
        mrels.append(('rId3', REL + 'theme', f'../theme/theme{theme_no}.xml'))
        files[f'ppt/slideMasters/slideMaster{m}.xml'] = slide_master(
            bg, tcol, xcol, layout_ids, 'Click to edit Master title style')
        files[f'ppt/slideMasters/_rels/slideMaster{m}.xml.rels'] = rels(mrels)
        overrides.append((f'/ppt/slideMasters/slideMaster{m}.xml', CT + 'slideMaster+xml'))
        rid = f'rId{len(pres_rels) + 1}'
        pres_rels.append((rid, REL + 'slideMaster', f'slideMasters/slideMaster{m}.xml'))
        master_ids += f'<p:sldMasterId id="{master_id}" r:id="{rid}"/>'

    has_notes = any(s[4] for s in slides)
    notes_list = ''
    if has_notes:
        theme_no += 1
        files[f'ppt/theme/theme{theme_no}.xml'] = theme(f'Trelwick Notes {theme_no}', '4472C4')
        overrides.append((f'/ppt/theme/theme{theme_no}.xml', 'application/vnd.openxmlformats-officedocument.theme+xml'))
        files['ppt/notesMasters/notesMaster1.xml'] = notes_master()
        files['ppt/notesMasters/_rels/notesMaster1.xml.rels'] = rels(
            [('rId1', REL + 'theme', f'../theme/theme{theme_no}.xml')])
        overrides.append(('/ppt/notesMasters/notesMaster1.xml', CT + 'notesMaster+xml'))
        rid = f'rId{len(pres_rels) + 1}'
        pres_rels.append((rid, REL + 'notesMaster', 'notesMasters/notesMaster1.xml'))
        notes_list = f'<p:notesMasterIdLst><p:notesMasterId r:id="{rid}"/></p:notesMasterIdLst>'

    slide_ids, notes_no = '', 0
    for n, (m, kind, stitle, lines, notes) in enumerate(slides, start=1):
        files[f'ppt/slides/slide{n}.xml'] = slide(kind, stitle, lines)
        srels = [('rId1', REL + 'slideLayout', f'../slideLayouts/slideLayout{layout_of[(m, kind)]}.xml')]
        if notes:
            notes_no += 1
            files[f'ppt/notesSlides/notesSlide{notes_no}.xml'] = notes_slide(notes)
            files[f'ppt/notesSlides/_rels/notesSlide{notes_no}.xml.rels'] = rels(
                [('rId1', REL + 'notesMaster', '../notesMasters/notesMaster1.xml'),
                 ('rId2', REL + 'slide', f'../slides/slide{n}.xml')])
            overrides.append((f'/ppt/notesSlides/notesSlide{notes_no}.xml', CT + 'notesSlide+xml'))
            srels.append(('rId2', REL + 'notesSlide', f'../notesSlides/notesSlide{notes_no}.xml'))
        files[f'ppt/slides/_rels/slide{n}.xml.rels'] = rels(srels)
        overrides.append((f'/ppt/slides/slide{n}.xml', CT + 'slide+xml'))
        rid = f'rId{len(pres_rels) + 1}'
        pres_rels.append((rid, REL + 'slide', f'slides/slide{n}.xml'))
        slide_ids += f'<p:sldId id="{255 + n}" r:id="{rid}"/>'

    for part in ('presProps', 'viewProps', 'tableStyles'):
        pres_rels.append((f'rId{len(pres_rels) + 1}', REL + part, f'{part}.xml'))
    files['ppt/presProps.xml'] = DECL + f'<p:presentationPr {NS}/>'
    files['ppt/viewProps.xml'] = DECL + f'<p:viewPr {NS}><p:gridSpacing cx="76200" cy="76200"/></p:viewPr>'
    files['ppt/tableStyles.xml'] = (DECL + '<a:tblStyleLst xmlns:a="http://schemas.openxmlformats.org/'
                                    'drawingml/2006/main" def="{5C22544A-7EE6-4342-B048-85BDC9FD1C3A}"/>')
    files['ppt/presentation.xml'] = (
        DECL + f'<p:presentation {NS} saveSubsetFonts="1"><p:sldMasterIdLst>{master_ids}</p:sldMasterIdLst>'
        f'{notes_list}<p:sldIdLst>{slide_ids}</p:sldIdLst>'
        f'<p:sldSz cx="{SLIDE_W}" cy="{SLIDE_H}" type="screen4x3"/><p:notesSz cx="{NOTES_W}" cy="{NOTES_H}"/>'
        '</p:presentation>')
    files['ppt/_rels/presentation.xml.rels'] = rels(pres_rels)
    files['docProps/core.xml'] = (
        DECL + '<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/'
        'core-properties" xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/" '
        'xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">'
        f'<dc:title>{escape(title)}</dc:title><dc:creator>Trelwick</dc:creator>'
        '<dcterms:created xsi:type="dcterms:W3CDTF">2026-01-01T00:00:00Z</dcterms:created>'
        '</cp:coreProperties>')
    files['docProps/app.xml'] = (
        DECL + '<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties">'
        f'<Application>Trelwick sample maker</Application><Slides>{len(slides)}</Slides>'
        f'<Notes>{notes_no}</Notes></Properties>')
    files['_rels/.rels'] = rels([
        ('rId1', REL + 'officeDocument', 'ppt/presentation.xml'),
        ('rId2', 'http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties',
         'docProps/core.xml'),
        ('rId3', REL + 'extended-properties', 'docProps/app.xml')])
    content_types = (DECL + '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                     '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.'
                     'relationships+xml"/><Default Extension="xml" ContentType="application/xml"/>'
                     + ''.join(f'<Override PartName="{p}" ContentType="{t}"/>' for p, t in overrides)
                     + '</Types>')

    with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:
        def put(name, text):
            info = zipfile.ZipInfo(name, date_time=(2026, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            z.writestr(info, text.encode('utf-8'))
        put('[Content_Types].xml', content_types)
        for name in sorted(files):
            put(name, files[name])


WHITE = '<a:srgbClr val="FFFFFF"/>'
NAVY = '<a:srgbClr val="1F2A44"/>'
DARK = '<a:srgbClr val="262626"/>'
TEAL = '<a:srgbClr val="0E6E6E"/>'
SAND = '<a:srgbClr val="F4EFE6"/>'


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    os.makedirs(out, exist_ok=True)
    write_deck(os.path.join(out, 'Quarterly-Review.pptx'), 'Quarterly Review',
               [(WHITE, NAVY, DARK, '1F4E79')],
               [(0, 'title', 'Quarterly Review', ['Third quarter, Northwind Depot'], None),
                (0, 'obj', 'Highlights', ['Orders up 12 percent', 'Two new warehouses opened',
                                          'Returns down to 1.8 percent'], None),
                (0, 'obj', 'Next Quarter', ['Open the coastal route', 'Hire six drivers',
                                            'Replace the ageing sorter'], None),
                (0, 'obj', 'Questions', ['Thank you for listening'], None)])
    write_deck(os.path.join(out, 'Onboarding-Notes.pptx'), 'Onboarding With Speaker Notes',
               [(SAND, TEAL, DARK, '0E6E6E')],
               [(0, 'title', 'Welcome Aboard', ['First day at the lighthouse office'],
                 ['Greet everyone and introduce yourself.', 'Mention the coffee machine on floor two.']),
                (0, 'obj', 'Your First Week', ['Meet your buddy', 'Set up your laptop', 'Read the safety guide'],
                 ['Hand out the buddy list before this slide.']),
                (0, 'obj', 'Who To Ask', ['Facilities: room 104', 'IT help desk: extension 2200'],
                 ['Pause for questions here.'])])
    write_deck(os.path.join(out, 'Two-Masters.pptx'), 'Two Slide Masters',
               [(WHITE, NAVY, DARK, '2E75B6'), (NAVY, WHITE, WHITE, 'FFC000')],
               [(0, 'title', 'Field Trip Plan', ['A deck built on two slide masters'], None),
                (0, 'obj', 'Route', ['Leave at eight', 'Lunch by the river', 'Back by five'], None),
                (1, 'title', 'Evening Session', ['This part uses the dark master'], None),
                (1, 'obj', 'Packing List', ['Water bottle', 'Rain jacket', 'Notebook'],
                 ['Remind people about the rain forecast.'])])


if __name__ == '__main__':
    main()
