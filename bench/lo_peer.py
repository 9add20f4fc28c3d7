#!/usr/bin/python3
"""The LibreOffice peer of the benchmark: stamps decks through LibreOffice's automation API (UNO),
with the same settings as the benchmark gives trelwick-cli, the way a script driving an office suite
would: load each deck hidden, set header and footer on every slide and notes page, store it as
.pptx, close it.

    /usr/bin/python3 bench/lo_peer.py OUTPUT_FOLDER DECK...

Prints one line: "startup S decks N seconds T" (T excludes starting LibreOffice). Needs python3-uno
(Debian's python3, not a virtual environment); exits 77 when it or soffice is missing.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import uno
    from com.sun.star.beans import PropertyValue
    from com.sun.star.connection import NoConnectException
except ImportError:
    print("python3-uno is not installed", file=sys.stderr)
    sys.exit(77)

DATE = "7 December 2026"


def prop(name, value):
    p = PropertyValue()
    p.Name = name
    p.Value = value
    return p


def stamp_page(page, footer, date, header=None):
    page.IsFooterVisible = True
    page.FooterText = footer
    page.IsDateTimeVisible = True
    page.IsDateTimeFixed = True
    page.DateTimeText = date
    page.IsPageNumberVisible = True
    if header is not None:
        page.IsHeaderVisible = True
        page.HeaderText = header


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    soffice = shutil.which("soffice")
    if not soffice:
        print("soffice is not installed", file=sys.stderr)
        return 77
    out, decks = sys.argv[1], sys.argv[2:]
    os.makedirs(out, exist_ok=True)
    profile = tempfile.mkdtemp(prefix="trelwick-lo-profile-")
    pipe = "trelwick_bench_%d" % os.getpid()
    started = time.perf_counter()
    office = subprocess.Popen([soffice, "--headless", "--invisible", "--nologo", "--norestore", "--nodefault",
                               "-env:UserInstallation=file://" + profile, "--accept=pipe,name=%s;urp;" % pipe],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        for _ in range(600):
            try:
                ctx = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
                break
            except NoConnectException:
                time.sleep(0.1)
        else:
            print("LibreOffice did not start", file=sys.stderr)
            return 1
        desktop = ctx.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", ctx)
        startup = time.perf_counter() - started

        began = time.perf_counter()
        for deck in decks:
            doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(os.path.abspath(deck)), "_blank", 0,
                                               (prop("Hidden", True),))
            pages = doc.DrawPages
            for i in range(pages.Count):
                page = pages.getByIndex(i)
                stamp_page(page, "Benchmark footer", DATE)
                stamp_page(page.NotesPage, "Benchmark notes footer", DATE, "Benchmark header")
            target = os.path.abspath(os.path.join(out, os.path.basename(deck)))
            doc.storeToURL(uno.systemPathToFileUrl(target), (prop("FilterName", "Impress MS PowerPoint 2007 XML"),))
            doc.close(True)
        seconds = time.perf_counter() - began
        print("startup %.3f decks %d seconds %.3f" % (startup, len(decks), seconds))
        try:
            desktop.terminate()
        except Exception:  # the bridge goes down with the office
            pass
        return 0
    finally:
        try:
            office.wait(timeout=30)
        except subprocess.TimeoutExpired:
            office.kill()
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
