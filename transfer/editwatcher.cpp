#include "transfer/editwatcher.h"

#include "engine/component/ftpengine.h"
#include "transfer/processstate.h"
#include "transfer/transferpaths.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>

namespace skyhaul {

namespace {

/// How long the desktop's MIME query and a program's start may take.
constexpr int ProgramStartMs = 10000;

/// The Exec= line of a .desktop file as a program and its arguments, field codes removed.
ProgramLaunch execLine(const QString& desktopFile)
{
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry || !line.startsWith(QLatin1String("Exec=")))
            continue;
        QStringList words = QProcess::splitCommand(line.mid(5));
        QStringList kept;
        for (const QString& word : std::as_const(words)) {
            // %f %F %u %U %i %c %k and the deprecated ones: the file goes last, as an argument of its own.
            if (word.size() == 2 && word.startsWith(QLatin1Char('%')))
                continue;
            QString text = word;
            text.replace(QLatin1String("%%"), QLatin1String("%"));
            kept << text;
        }
        if (kept.isEmpty())
            return {};
        const QString program = kept.takeFirst();
        return {program, kept};
    }
    return {};
}

} // namespace

QString editCopyPath(const QString& tempFolder, const QString& connectionKey, const QString& remotePath)
{
    const qsizetype cut = remotePath.lastIndexOf(QLatin1Char('/'));
    const QString folder = cut < 0 ? QString() : remotePath.left(cut);
    const QString name = remotePath.mid(cut + 1);
    const QByteArray key = (connectionKey + QLatin1Char('\n') + folder).toUtf8();
    const QString hash =
        QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16));
    QString base = tempFolder;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + QStringLiteral("skEdit") + hash + QLatin1Char('/') + localCopyName(name);
}

ProgramLaunch associatedProgram(const QString& mimeType, const QString& file)
{
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return {};
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForFinished(ProgramStartMs) || query.exitCode() != 0) {
        query.kill();
        query.waitForFinished(1000);
        return {};
    }
    const QString desktopName = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
    if (desktopName.isEmpty() || desktopName.contains(QLatin1Char('/')))
        return {};
    const QString desktopFile = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                       QStringLiteral("applications/") + desktopName);
    if (desktopFile.isEmpty())
        return {};
    ProgramLaunch launch = execLine(desktopFile);
    if (!launch.program.isEmpty())
        launch.arguments << file;
    return launch;
}

QString noProgramMessage(const QString& file)
{
    return QStringLiteral("No program is set up to open ") + QFileInfo(file).fileName() + QLatin1Char('.');
}

ProgramLaunch editorFor(int editorChoice, const QString& editorPath, const QString& file)
{
    switch (editorChoice) {
    case 0:
        return associatedProgram(QMimeDatabase().mimeTypeForFile(file).name(), file);
    case 1: {
        const QString notepad = QStandardPaths::findExecutable(QStringLiteral("notepad"));
        if (!notepad.isEmpty())
            return {notepad, {file}};
        return associatedProgram(QStringLiteral("text/plain"), file);
    }
    default:
        // The path is the program itself: blanks in it are part of it.
        if (editorPath.trimmed().isEmpty())
            return {};
        return {editorPath.trimmed(), {file}};
    }
}

EditWatcher::EditWatcher(TFtpEngine& engine, const QString& watchFile, const QString& watchRemote,
                         QObject* parent)
    : QObject(parent), WatchEngine(&engine), WatchFile(watchFile), WatchRemote(watchRemote)
{
    CheckTimer.setInterval(CheckIntervalMs);
    connect(&CheckTimer, &QTimer::timeout, this, &EditWatcher::CheckTimerTimer);
}

EditWatcher::~EditWatcher() = default;

qint64 EditWatcher::fileAge(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1;
}

bool EditWatcher::startEditor(const ProgramLaunch& launch, QString* why)
{
    if (launch.program.isEmpty()) {
        *why = noProgramMessage(WatchFile);
        return false;
    }
    LastAge = fileAge(WatchFile);
    m_lastSize = QFileInfo(WatchFile).size();
    // The program outlives its watcher and its tab: the application holds it until it ends. Its output goes
    // nowhere, so that a child it leaves behind holds no pipe of ours.
    auto* process = new QProcess(QCoreApplication::instance());
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(launch.program, launch.arguments);
    if (!process->waitForStarted(ProgramStartMs)) {
        *why = launch.program + QStringLiteral(": ") + process->errorString();
        process->kill();
        delete process;
        return false;
    }
    ++RunningEditors;
    connect(process, &QProcess::finished, process, [process] {
        --RunningEditors;
        process->deleteLater();
    });
    // The age taken before the start stands: the program may have saved already.
    m_watching = true;
    CheckTimer.start();
    return true;
}

void EditWatcher::endWatch()
{
    if (!m_watching)
        return;
    m_watching = false;
    CheckTimer.stop();
    Q_EMIT ended();
}

void EditWatcher::acceptCurrentCopy()
{
    LastAge = fileAge(WatchFile);
    m_lastSize = QFileInfo(WatchFile).size();
}

void EditWatcher::CheckTimerTimer()
{
    if (m_checking)
        return;
    CheckTimer.stop();
    QPointer<EditWatcher> self(this);
    m_checking = true;
    auto again = qScopeGuard([&] {
        if (!self)
            return;
        m_checking = false;
        if (m_watching)
            CheckTimer.start();
    });
    if (!WatchEngine || !WatchEngine->Connected()) {
        // An upload now would log on again, perhaps somewhere else: the watch is over.
        endWatch();
        return;
    }
    // The file system's clock ticks in milliseconds at best (often coarser): a save right after the last
    // one can keep its time, so a new size counts as a change too.
    const qint64 age = fileAge(WatchFile);
    const qint64 size = QFileInfo(WatchFile).size();
    if (age == LastAge && size == m_lastSize)
        return;
    // Until the tab is idle the engine belongs to what the tab does: the next tick tries again.
    if (!(canUpload ? canUpload() : WatchEngine->Idle()))
        return;
    LastAge = age;
    m_lastSize = size;
    m_failure.clear();
    if (runUpload)
        runUpload([this] { upload(); });
    else
        upload();
    // Reported once the upload's panel is gone.
    if (self && !m_failure.isEmpty() && uploadFailed)
        uploadFailed(m_failure);
}

void EditWatcher::upload()
{
    QPointer<EditWatcher> self(this);
    try {
        if (!WatchEngine || !WatchEngine->Connected())
            return;
        WatchEngine->setRemoteFile(WatchRemote);
        WatchEngine->setLocalFile(WatchFile);
        WatchEngine->setStartByte(QStringLiteral("0"));
        WatchEngine->Upload(); // nested wait
    } catch (const EFtpEngine& e) {
        if (self)
            m_failure = e.Message();
        return;
    }
    if (self)
        Q_EMIT uploaded(WatchRemote);
}

} // namespace skyhaul
