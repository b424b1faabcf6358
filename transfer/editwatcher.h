#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class TFtpEngine;
class QProcess;

namespace skyhaul {

/// A program to start and its arguments; the file it opens is always one argument of its own, never part
/// of a command string.
struct ProgramLaunch {
    QString program;
    QStringList arguments;
};

/**
 * Where the View and Edit copy of a remote file lives: a folder per server, user and remote folder below the
 * temporary folder (so two files of one name in different folders never share a copy), and the listed name
 * made safe as one local name (it can never lead out of that folder).
 */
QString editCopyPath(const QString& tempFolder, const QString& connectionKey, const QString& remotePath);

/**
 * The desktop's default application for a MIME type: `xdg-mime query default TYPE`, then the Exec= line of
 * that .desktop file in the XDG data folders, its field codes (%f %F %u %U ...) removed, with the file as
 * the last argument. No program when the desktop names none.
 */
ProgramLaunch associatedProgram(const QString& mimeType, const QString& file);

/**
 * The program the EditorChoice option names for a file: 0 the desktop's default application for the
 * file's type, 1 the default text editor ("notepad" when one is on the PATH, otherwise the default
 * application for text/plain), 2 the EditorPath program. No program when none is found.
 */
ProgramLaunch editorFor(int editorChoice, const QString& editorPath, const QString& file);

/// What is said when no program opens a file: neither the desktop nor the configuration names one.
QString noProgramMessage(const QString& file);

/**
 * Watches the local copy of an edited remote file and uploads it through the tab's engine whenever its
 * modification time changes (polled every CheckIntervalMs on the thread that created it; the engine is only
 * ever called from there). It starts the editor and counts it in RunningEditors while it runs.
 *
 * Many editors hand the file to an instance that already runs and return at once, so the end of the
 * started program does not end the watch: it goes on until endWatch() (the tab disconnects or closes; the
 * watcher is the tab's child then), so an upload never goes into another connection than the one the file
 * came from.
 */
class EditWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr int CheckIntervalMs = 100;

    EditWatcher(TFtpEngine& engine, const QString& watchFile, const QString& watchRemote,
                QObject* parent = nullptr);
    ~EditWatcher() override;

    /// True when nothing else uses the engine (the tab is idle); default: the engine is idle.
    std::function<bool()> canUpload;
    /// Runs the upload it is given (the tab wraps it in its busy state and its panel); default: runs it.
    std::function<void(const std::function<void()>& upload)> runUpload;
    /// An upload failed with this engine message (called after runUpload returned); the watch goes on and
    /// the next save tries again.
    std::function<void(const QString& message)> uploadFailed;

    /// Starts the program and the watch. False with the reason when the program cannot start: nothing is
    /// watched then.
    bool startEditor(const ProgramLaunch& launch, QString* why);
    /// Ends the watch for good: nothing is uploaded any more. Safe inside the watcher's own upload.
    void endWatch();
    /// The copy was fetched again (or dropped) by the tab itself: its present state is no save to upload.
    void acceptCurrentCopy();
    bool watching() const { return m_watching; }

    QString watchFile() const { return WatchFile; }
    QString watchRemote() const { return WatchRemote; }
    /// The modification time of the copy in ms since the epoch; -1 when it is missing.
    static qint64 fileAge(const QString& path);
    qint64 LastAge = -1;

    void CheckTimerTimer();

Q_SIGNALS:
    /// The copy went up to the server.
    void uploaded(const QString& remotePath);
    /// The watch has ended (endWatch()).
    void ended();

private:
    void upload();

    QPointer<TFtpEngine> WatchEngine;
    QString WatchFile;
    QString WatchRemote;
    QTimer CheckTimer;
    bool m_watching = false;
    bool m_checking = false;
    QString m_failure;     ///< why the last upload failed
    qint64 m_lastSize = 0; ///< the copy's size when LastAge was taken
};

} // namespace skyhaul
