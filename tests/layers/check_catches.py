#!/usr/bin/env python3
"""Runs the layer check on small trees: a clean one passes, each kind of wrong include or link fails and is named.

Usage: check_catches.py CHECK QT_HEADERS
"""
import pathlib
import subprocess
import sys
import tempfile

CHECK = sys.argv[1]
QT_HEADERS = sys.argv[2]
LAYERS = ["store", "engine", "transfer", "ui", "local", "remote", "app"]

# (name, {file: text}, the words the check must print; None: the tree is clean)
CASES = [
    ("a tab includes a lower layer and Qt Widgets",
     {"remote/tab.cpp": '#include "ui/x.h"\n#include "store/y.h"\n#include <QWidget>\n'}, None),
    ("store includes ui", {"store/io/a.h": '#include "ui/errorbox.h"\n'},
     'store/io/a.h:1: store/ includes "ui/errorbox.h" from the higher layer ui/'),
    ("engine includes transfer", {"engine/b.cpp": '\n#include "transfer/queue.h"\n'}, "engine/b.cpp:2:"),
    ("local includes remote", {"local/c.cpp": '#include "remote/remoteframe.h"\n'}, "from its sibling remote/"),
    ("remote includes app", {"remote/d.h": '  #  include "app/mainwindow/mainwindow.h"\n'},
     "from the higher layer app/"),
    ("remote includes local by a relative path",
     {"remote/d.cpp": '#include "../local/localframe.h"\n', "local/localframe.h": ""},
     'remote/d.cpp:1: remote/ includes "../local/localframe.h" from its sibling local/'),
    # The two ground floors.
    ("transfer includes both ground floors",
     {"transfer/run.cpp": '#include "store/configrecord.h"\n#include "engine/component/ftpengine.h"\n'}, None),
    ("store includes engine", {"store/e.cpp": '#include "engine/component/errors.h"\n'},
     'store/e.cpp:1: store/ includes "engine/component/errors.h" from the other ground floor engine/'),
    ("engine includes store", {"engine/control/s.h": '#include "store/texttables.h"\n'},
     "from the other ground floor store/"),
    # No widgets below ui/.
    ("transfer includes QDialog", {"transfer/q.cpp": "#include <QString>\n#include <QDialog>\n"},
     "transfer/q.cpp:2: transfer/ includes <QDialog>, a Qt Widgets header"),
    ("engine includes QtWidgets/QLabel", {"engine/l.h": "#include <QtWidgets/QLabel>\n"},
     "engine/ includes <QtWidgets/QLabel>, a Qt Widgets header"),
    ("store includes the QtWidgets module", {"store/m.cpp": "#include <QtWidgets>\n"}, "a Qt Widgets header"),
    ("engine includes a lower-case widgets header", {"engine/w.cpp": "#include <qwidget.h>\n"},
     "a Qt Widgets header"),
    ("engine uses Qt Core and Network headers",
     {"engine/n.cpp": "#include <QTcpSocket>\n#include <QtCore/QTimer>\n"}, None),
    ("transfer links Qt Widgets",
     {"transfer/CMakeLists.txt": "add_library(skyhaul_transfer STATIC a.cpp)\n"
                                 "target_link_libraries(skyhaul_transfer PUBLIC skyhaul_engine\n"
                                 "    Qt6::Core Qt6::Widgets)\n"},
     "transfer/CMakeLists.txt:3: transfer/ links Qt6::Widgets, a Qt Widgets module"),
    ("store's CMake names widgets in a comment only",
     {"store/CMakeLists.txt": "# no Qt6::Widgets here, nor skyhaul_ui\n"
                              "target_link_libraries(skyhaul_store PUBLIC Qt6::Core)\n"}, None),
    ("ui links Qt Widgets", {"ui/CMakeLists.txt": "target_link_libraries(skyhaul_ui PUBLIC Qt::Widgets)\n"}, None),
    ("transfer links ui", {"transfer/CMakeLists.txt": "target_link_libraries(skyhaul_transfer PUBLIC skyhaul_ui)\n"},
     "transfer/CMakeLists.txt:1: transfer/ links skyhaul_ui of the higher layer ui/"),
    ("engine links store", {"engine/CMakeLists.txt": "target_link_libraries(skyhaul_engine PUBLIC skyhaul_store)\n"},
     "links skyhaul_store of the other ground floor store/"),
    ("a layer includes a test helper", {"store/t.cpp": '#include "tests/support/testhelpers.h"\n'},
     'store/ includes "tests/support/testhelpers.h" from tests/support/, which no layer includes'),
    # Tests and benchmarks.
    ("window tests use what is below the window",
     {"tests/app/tst_w.cpp": '#include "app/mainwindow/mainwindow.h"\n#include "local/localframe.h"\n'
                             '#include "remote/remoteframe.h"\n#include "tests/remote/remotetesthelpers.h"\n'
                             '#include "tests/ui/modalwatcher.h"\n#include "tests/support/ftpserver.h"\n'
                             '#include "tests/harness/rawftp.h"\n#include "apptesthelpers.h"\n',
      "tests/app/CMakeLists.txt": "skyhaul_test(app tst_w LIBS skyhaul_app skyhaul_testsupport)\n",
      "tests/app/apptesthelpers.h": '#include "app/mainwindow/remotetab.h"\n'}, None),
    ("a local tab test includes the window's test helpers",
     {"tests/local/tst_l.cpp": '#include "local/localframe.h"\n#include "tests/app/apptesthelpers.h"\n'},
     'tests/local/tst_l.cpp:2: tests/local/ includes "tests/app/apptesthelpers.h" from tests/app/, the tests '
     "of a layer tests/local/ may not use"),
    ("a local tab test links the window",
     {"tests/local/CMakeLists.txt": "skyhaul_test(local tst_l LIBS skyhaul_app skyhaul_testsupport)\n"},
     "tests/local/CMakeLists.txt:1: tests/local/ links skyhaul_app of the higher layer app/"),
    ("a remote tab test includes the local tab", {"tests/remote/tst_r.cpp": '#include "local/localframe.h"\n'},
     'tests/remote/ includes "local/localframe.h" from its sibling local/'),
    ("a remote tab test links the local tab",
     {"tests/remote/CMakeLists.txt": "target_link_libraries(tst_r PRIVATE skyhaul_local)\n"},
     "tests/remote/ links skyhaul_local of its sibling local/"),
    ("a relative include climbs to the window's tests",
     {"tests/ui/tst_u.cpp": '#include "../app/apptesthelpers.h"\n', "tests/app/apptesthelpers.h": ""},
     'tests/ui/ includes "../app/apptesthelpers.h" from tests/app/'),
    ("a transfer test includes a widget", {"tests/transfer/tst_t.cpp": "#include <QTest>\n#include <QWidget>\n"},
     "tests/transfer/tst_t.cpp:2: tests/transfer/ includes <QWidget>, a Qt Widgets header"),
    ("an engine test links Qt Widgets",
     {"tests/engine/CMakeLists.txt": "skyhaul_test(engine tst_e LIBS skyhaul_engine Qt6::Widgets)\n"},
     "tests/engine/ links Qt6::Widgets, a Qt Widgets module"),
    ("the test support includes the engine", {"tests/support/ftpserver.h": '#include "engine/component/errors.h"\n'},
     'tests/support/ includes "engine/component/errors.h" from the layer engine/ (this folder uses no layer)'),
    ("the fuzzers use both ground floors",
     {"tests/fuzz/fuzz_a.cpp": '#include "store/inifile.h"\n#include "engine/listing/listingparser.h"\n'
                               '#include "tests/fuzz/fuzzcheck.h"\n'}, None),
    ("a fuzzer includes transfer", {"tests/fuzz/fuzz_b.cpp": '#include "transfer/direntry.h"\n'},
     "from the higher layer transfer/"),
    ("the benchmarks drive the remote tab",
     {"bench/queuebench.cpp": '#include "remote/remoteframe.h"\n#include "tests/remote/remotetesthelpers.h"\n'
                              '#include "bench/benchsupport.h"\n',
      "bench/CMakeLists.txt": "target_link_libraries(queuebench PRIVATE skyhaul_remote Qt6::Widgets)\n"}, None),
    ("a benchmark includes the window", {"bench/b.cpp": '#include "app/mainwindow/mainwindow.h"\n'},
     'bench/b.cpp:1: bench/ includes "app/mainwindow/mainwindow.h" from the higher layer app/'),
    ("a test includes a benchmark helper", {"tests/engine/tst_b.cpp": '#include "bench/benchsupport.h"\n'},
     "from bench/, which only bench/ includes"),
    ("a test folder that names no layer", {"tests/misc/tst_m.cpp": "int main() {}\n"},
     "tests/misc/: C++ sources in a test folder that names no layer"),
]

failures = 0
for name, files, expected in CASES:
    with tempfile.TemporaryDirectory() as tmp:
        root = pathlib.Path(tmp)
        for layer in LAYERS:
            (root / layer).mkdir()
        for path, text in files.items():
            (root / path).parent.mkdir(parents=True, exist_ok=True)
            (root / path).write_text(text)
        run = subprocess.run([sys.executable, CHECK, "--qt-headers", QT_HEADERS, tmp], capture_output=True,
                             text=True)
        ok = run.returncode == 0 if expected is None else run.returncode == 1 and expected in run.stdout
        if not ok:
            failures += 1
            print(f"FAIL {name}: exit {run.returncode}, output:\n{run.stdout}{run.stderr}")
        else:
            print(f"ok   {name}")

# Without Qt's headers the check cannot tell a widget header: it says so and fails.
with tempfile.TemporaryDirectory() as tmp:
    run = subprocess.run([sys.executable, CHECK, "--qt-headers", tmp, tmp], capture_output=True, text=True)
    if run.returncode != 2 or "no Qt include folder" not in run.stderr:
        failures += 1
        print(f"FAIL no Qt headers: exit {run.returncode}, output:\n{run.stdout}{run.stderr}")
    else:
        print("ok   no Qt headers")
sys.exit(1 if failures else 0)
