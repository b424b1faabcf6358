// Which program View and Edit start for each editor choice: the desktop's default application for the
// file's type (read through xdg-mime from a desktop entry of our own), the text editor, or the configured
// path. The file is always one argument of its own, after the entry's arguments.
#include "tests/support/testhelpers.h"
#include "transfer/editwatcher.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace skyhaul;
using namespace Qt::StringLiterals;

class TestEditorChoice : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QByteArray m_path;
    QString m_editor;

    static void write(const QString& path, const QByteArray& bytes)
    {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(u"xdg-mime"_s).isEmpty(), "xdg-mime (xdg-utils) is needed");
        // The user's own choices come first: text/plain opens with an entry of ours (xdg-mime takes it only
        // when its program exists) whose Exec line holds an argument, a field code and a literal "%", and
        // whose action after it has an Exec line of its own that is not the entry's.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(u"config"_s)));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(u"data"_s)));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(m_home.filePath(u"none"_s)));
        qunsetenv("XDG_CURRENT_DESKTOP");
        m_editor = m_home.filePath(u"opt/edit"_s);
        write(m_editor, "#!/bin/sh\n");
        QVERIFY(QFile::setPermissions(m_editor, QFile::ReadOwner | QFile::ExeOwner));
        write(m_home.filePath(u"config/mimeapps.list"_s),
              "[Default Applications]\ntext/plain=skytext.desktop\n");
        write(m_home.filePath(u"data/applications/skytext.desktop"_s),
              "[Desktop Entry]\nType=Application\nName=Text\nExec=" + QFile::encodeName(m_editor) +
                  " --wait %F 100%%\nActions=new;\n\n[Desktop Action new]\nName=New\nExec=/bin/false\n");
        m_path = qgetenv("PATH");
    }

    void cleanup() { qputenv("PATH", m_path); }

    void choices_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("editorPath");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("notepadOnPath");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        const QString text = u"/tmp/sk Temp/notes \"x\".txt"_s;
        const QStringList entryArguments{u"--wait"_s, u"100%"_s, text};
        QTest::newRow("desktop default of the type")
            << 0 << QString() << text << false << m_editor << entryArguments;
        QTest::newRow("desktop, a type with no default")
            << 0 << QString() << u"/tmp/a.skyhaulunknown"_s << false << QString() << QStringList();
        QTest::newRow("text editor, no notepad: text/plain's default")
            << 1 << QString() << text << false << m_editor << entryArguments;
        QTest::newRow("text editor, notepad on the PATH")
            << 1 << QString() << text << true << u"notepad"_s << QStringList{text};
        QTest::newRow("configured path with blanks")
            << 2 << u" /opt/my editor/ed "_s << text << false << u"/opt/my editor/ed"_s << QStringList{text};
        QTest::newRow("configured path empty") << 2 << u"  "_s << text << false << QString() << QStringList();
    }

    void choices()
    {
        QFETCH(int, choice);
        QFETCH(QString, editorPath);
        QFETCH(QString, file);
        QFETCH(bool, notepadOnPath);
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        const QString bin = m_home.filePath(u"bin"_s);
        if (notepadOnPath) {
            write(bin + u"/notepad"_s, "#!/bin/sh\n");
            QVERIFY(QFile::setPermissions(bin + u"/notepad"_s, QFile::ReadOwner | QFile::ExeOwner));
            qputenv("PATH", QFile::encodeName(bin) + ':' + m_path);
            program = bin + u"/notepad"_s;
        }
        const ProgramLaunch launch = editorFor(choice, editorPath, file);
        QCOMPARE(launch.program, program);
        QCOMPARE(launch.arguments, arguments);
        if (notepadOnPath)
            QFile::remove(bin + u"/notepad"_s);
    }
};

QTEST_GUILESS_MAIN(TestEditorChoice)
#include "tst_editorchoice.moc"
