#!/usr/bin/env python3
"""Runs the layer check on small trees: a clean one passes, each kind of wrong include fails and is named."""
import pathlib
import subprocess
import sys
import tempfile

CHECK = sys.argv[1]
LAYERS = ["store", "engine", "transfer", "ui", "local", "remote", "app"]

# (file, its text, the words the check must print; None: the tree is clean)
CASES = [
    ("remote/tab.cpp", '#include "ui/x.h"\n#include "store/y.h"\n#include <QWidget>\n', None),
    ("store/io/a.h", '#include "ui/errorbox.h"\n', 'store/io/a.h:1: store/ includes "ui/errorbox.h" from the higher layer ui/'),
    ("engine/b.cpp", '\n#include "transfer/queue.h"\n', "engine/b.cpp:2:"),
    ("local/c.cpp", '#include "remote/remoteframe.h"\n', "from its sibling remote/"),
    ("remote/d.h", '  #  include "app/mainwindow/mainwindow.h"\n', "from the higher layer app/"),
]

failures = 0
for name, text, expected in CASES:
    with tempfile.TemporaryDirectory() as tmp:
        root = pathlib.Path(tmp)
        for layer in LAYERS:
            (root / layer).mkdir()
        (root / name).parent.mkdir(parents=True, exist_ok=True)
        (root / name).write_text(text)
        run = subprocess.run([sys.executable, CHECK, tmp], capture_output=True, text=True)
        ok = run.returncode == 0 if expected is None else run.returncode == 1 and expected in run.stdout
        if not ok:
            failures += 1
            print(f"FAIL {name}: exit {run.returncode}, output:\n{run.stdout}{run.stderr}")
        else:
            print(f"ok   {name}")
sys.exit(1 if failures else 0)
