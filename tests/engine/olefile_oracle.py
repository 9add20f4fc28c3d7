#!/usr/bin/python3
"""A second reader checks the compound-file writer: python3-olefile reads every stream of the
rewritten corpus .ppt files (and of resized and version-4 containers) and finds it equal to the
original. Usage: olefile_oracle.py REWRITE_TOOL SHARED_DIR. Exit 77 (skipped) without olefile."""
import os
import subprocess
import sys
import tempfile

try:
    import olefile
except ImportError:
    print("python3-olefile is not installed; skipped")
    sys.exit(77)

tool, shared = sys.argv[1], sys.argv[2]
failures = []


def streams(path):
    """Every stream of the file as {path: bytes}, plus the storages with their class ids."""
    ole = olefile.OleFileIO(path)
    out = {}
    for entry in ole.listdir(streams=True, storages=True):
        name = "/".join(entry)
        if ole.get_type(entry) == olefile.STGTY_STREAM:
            out[name] = ole.openstream(entry).read()
        else:
            out[name + "/"] = ole.getclsid(entry)
    out["(root clsid)"] = ole.root.clsid
    ole.close()
    return out


def strict_open(path):
    """Our output must not even have the defects olefile tolerates."""
    olefile.OleFileIO(path, raise_defects=olefile.DEFECT_INCORRECT).close()


def check(label, source, rewritten, replaced=None, content=None):
    try:
        strict_open(rewritten)
        before, after = streams(source), streams(rewritten)
    except Exception as e:  # olefile raises many kinds
        failures.append(f"{label}: olefile cannot read it: {e}")
        return 0
    if replaced is not None:
        before[replaced] = content
    if before.keys() != after.keys():
        failures.append(f"{label}: entries differ: {sorted(before.keys() ^ after.keys())}")
    for name in before.keys() & after.keys():
        if before[name] != after[name]:
            failures.append(f"{label}: {name!r} differs")
    return len(before)


def rewrite(source, target, *replacement):
    return subprocess.run([tool, source, target, *replacement], capture_output=True, text=True)


corpus = os.path.join(shared, "corpus", "dev")
inputs = sorted(os.path.join(d, f) for d in (corpus, os.path.join(corpus, "bad")) if os.path.isdir(d)
                for f in os.listdir(d) if f.endswith(".ppt"))
with tempfile.TemporaryDirectory() as tmp:
    compared = files = 0
    for source in inputs:
        name = os.path.basename(source)
        target = os.path.join(tmp, name)
        run = rewrite(source, target)
        if run.returncode == 2 and "clusterfuzz" in name:
            continue  # a damaged container, refused as it should be
        if run.returncode != 0:
            failures.append(f"{name}: rewrite failed: {run.stderr.strip()}")
            continue
        compared += check(name, source, target)
        files += 1
    print(f"corpus: {files} files rewritten, {compared} streams and storages equal per olefile")

    samples = []
    for major in (3, 4):
        built = os.path.join(tmp, f"built-v{major}.cfb")
        subprocess.run([tool, "--build", str(major), built], check=True)
        samples.append((f"built v{major}", built))
    good = [p for p in inputs if os.path.dirname(p) == corpus]
    if good:
        samples.append(("corpus " + os.path.basename(good[0]), good[0]))
    for label, source in samples:
        target = os.path.join(tmp, "same.cfb")
        run = rewrite(source, target)
        if run.returncode != 0:
            failures.append(f"{label}: rewrite failed: {run.stderr.strip()}")
            continue
        check(label, source, target)
        # Mini stream, exactly the cutoff, regular, empty, and large enough for DIFAT sectors (v3).
        for size in (100, 4096, 70000, 0, 8 << 20):
            content = os.urandom(size)
            new = os.path.join(tmp, "new.bin")
            with open(new, "wb") as f:
                f.write(content)
            target = os.path.join(tmp, f"resized-{size}.cfb")
            run = rewrite(source, target, "PowerPoint Document", new)
            if run.returncode != 0:
                failures.append(f"{label} resized to {size}: rewrite failed: {run.stderr.strip()}")
                continue
            check(f"{label} resized to {size}", source, target, "PowerPoint Document", content)
        print(f"{label}: rewritten as is and with PowerPoint Document at 0 to 8 MiB, read by olefile")

for failure in failures:
    print("FAIL", failure)
sys.exit(1 if failures else 0)
