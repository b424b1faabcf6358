#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QSettings;

namespace skyhaul {

/// The once-a-day gate of the update check: the date of the last check, kept as "update" in the settings.
class UpdateGate {
public:
    /// The settings the gate reads and writes ("Corvent"/"Papyrel" in user scope for the program).
    explicit UpdateGate(QSettings& settings) : m_settings(settings) {}

    /// True, after recording today, when the last check was not made today; false otherwise.
    bool passes();

    /// Today in the locale's short date format: what the gate records.
    static QString today();

private:
    QSettings& m_settings;
};

/// The server's answer: section "update" of "ver.ini".
struct UpdateAnswer {
    QString ver;
    QString url;
    QString filename;
};

/// "%d.%d.%d.%d" of the program's version.
QString currentVersionText();

/// The about box's version label: "v", major, ".", minor and release run together (1.1.0.0 gives "v1.10").
QString aboutVersionText(int major, int minor, int release);

/**
 * Asks the update server which version is current and offers the new setup program. Every step that leaves
 * the program (the question, opening the setup) goes through the hooks, so the check runs unattended in
 * tests. Requests go only to the configured address; none is made when it is empty.
 */
class UpdateCheck {
public:
    struct Hooks {
        /// Asks whether to download the new version; true for Yes.
        std::function<bool(const QString& title, const QString& text)> ask;
        /// Opens a file with the desktop (starts the setup program).
        std::function<bool(const QUrl& url)> open;
    };

    /// Path of the answer below the update server's base address.
    static constexpr char EndpointPath[] = "/update/skyhaul/skyhaul.php";
    /// The question, fixed Korean whatever language is chosen.
    static QString questionTitle();
    static QString questionText();

    /// baseUrl: the build's update address (scheme, host, port); empty turns the check off.
    UpdateCheck(const QString& appFolder, const QString& baseUrl, Hooks hooks);

    /// The whole check. Returns false when it ended on a failure (never fatal to start-up).
    bool run();

    /// The endpoint, or an empty URL when the base address is empty or not http(s).
    QUrl endpoint() const;

    /// "ver.ini" in the application folder.
    QString versionFilePath() const;

    /// Reads section "update" of a "ver.ini"; missing values are empty.
    static UpdateAnswer readAnswer(const QString& path);

    /// A "filename" the setup may be saved under: a plain name in the application folder, nothing else.
    static bool isPlainFileName(const QString& name);

    /// Most bytes accepted for "ver.ini" and for the setup program.
    static constexpr qint64 MaxAnswerBytes = 64 * 1024;
    static constexpr qint64 MaxSetupBytes = qint64(1) << 30;
    /// Longest silence of the server before a request fails, and the longest a request for "ver.ini" takes.
    static constexpr int StallTimeoutMs = 15000;
    static constexpr int AnswerTimeoutMs = 20000;

    /// The last failure, for the log.
    QString errorString() const { return m_error; }

private:
    bool fail(const QString& text);

    QString m_appFolder;
    QString m_baseUrl;
    Hooks m_hooks;
    QString m_error;
};

/**
 * One bounded HTTP GET whose body goes to a file, replaced only when the whole body arrived with a success
 * status. Waits in a local event loop. Returns false with error (if given) on any failure.
 */
bool downloadToFile(const QUrl& url, const QString& path, qint64 maxBytes, int totalTimeoutMs,
                    int stallTimeoutMs, QString* error = nullptr);

} // namespace skyhaul
