#include "app/update/updatecheck.h"

#include "store/io/atomicsave.h"
#include "store/io/datafile.h"
#include "store/io/inifile.h"

#include "skyhaul_version.h"

#include <QDate>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLocale>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSaveFile>
#include <QSettings>
#include <QTimer>

namespace skyhaul {

Q_LOGGING_CATEGORY(lcUpdate, "skyhaul.update", QtWarningMsg)

bool UpdateGate::passes()
{
    const QString last = m_settings.value(QStringLiteral("update")).toString();
    const QString now = today();
    if (last == now)
        return false;
    m_settings.setValue(QStringLiteral("update"), now);
    m_settings.sync();
    return true;
}

QString UpdateGate::today()
{
    return QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
}

QString currentVersionText()
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(SKYHAUL_VERSION_MAJOR)
        .arg(SKYHAUL_VERSION_MINOR)
        .arg(SKYHAUL_VERSION_PATCH)
        .arg(SKYHAUL_VERSION_TWEAK);
}

QString aboutVersionText(int major, int minor, int release)
{
    return QStringLiteral("v%1.%2%3").arg(major).arg(minor).arg(release);
}

QString UpdateCheck::questionTitle()
{
    return QStringLiteral("알림");
}

QString UpdateCheck::questionText()
{
    return QStringLiteral("신규버전이 나왔습니다.\r\n업데이트 하시겠습니까?");
}

UpdateCheck::UpdateCheck(const QString& appFolder, const QString& baseUrl, Hooks hooks)
    : m_appFolder(appFolder), m_baseUrl(baseUrl.trimmed()), m_hooks(std::move(hooks))
{
}

QUrl UpdateCheck::endpoint() const
{
    if (m_baseUrl.isEmpty())
        return {};
    QString base = m_baseUrl;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QUrl url(base + QLatin1String(EndpointPath), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return {};
    return url;
}

QString UpdateCheck::versionFilePath() const
{
    return QDir(m_appFolder).filePath(QStringLiteral("ver.ini"));
}

UpdateAnswer UpdateCheck::readAnswer(const QString& path)
{
    const IniFile ini = IniFile::load(path);
    return {ini.value(u"update", u"ver"), ini.value(u"update", u"url"), ini.value(u"update", u"filename")};
}

bool UpdateCheck::isPlainFileName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (QChar c : name)
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') || c.unicode() < 0x20)
            return false;
    return true;
}

bool UpdateCheck::fail(const QString& text)
{
    m_error = text;
    qCWarning(lcUpdate).noquote() << text;
    return false;
}

bool UpdateCheck::run()
{
    const QUrl url = endpoint();
    if (url.isEmpty())
        return fail(QStringLiteral("No update address in this build."));

    const QString current = currentVersionText();
    const QString versionFile = versionFilePath();
    // The answer file starts empty, so a failed request leaves no stale answer behind.
    try {
        QFile::remove(versionFile);
        writeFileAtomically(versionFile, {});
    } catch (const FileIoError& e) {
        return fail(e.message());
    }
    QString error;
    if (!downloadToFile(url, versionFile, MaxAnswerBytes, AnswerTimeoutMs, StallTimeoutMs, &error))
        return fail(error);

    const UpdateAnswer answer = readAnswer(versionFile);
    if (answer.ver == current || answer.url.isEmpty() || answer.filename.isEmpty())
        return true;
    if (!m_hooks.ask || !m_hooks.ask(questionTitle(), questionText()))
        return true;

    // The answer names the file; anything but a plain name could write outside the application folder.
    if (!isPlainFileName(answer.filename))
        return fail(QStringLiteral("Refused setup file name: %1").arg(answer.filename));
    const QUrl setupUrl(answer.url, QUrl::StrictMode);
    if (!setupUrl.isValid() ||
        (setupUrl.scheme() != QLatin1String("http") && setupUrl.scheme() != QLatin1String("https")))
        return fail(QStringLiteral("Refused setup address: %1").arg(answer.url));
    const QString setupFile = QDir(m_appFolder).filePath(answer.filename);
    QFile::remove(setupFile);
    if (!downloadToFile(setupUrl, setupFile, MaxSetupBytes, 0, StallTimeoutMs, &error))
        return fail(error);
    if (m_hooks.open)
        m_hooks.open(QUrl::fromLocalFile(setupFile));
    return true;
}

bool downloadToFile(const QUrl& url, const QString& path, qint64 maxBytes, int totalTimeoutMs,
                    int stallTimeoutMs, QString* error)
{
    auto failWith = [&](const QString& text) {
        if (error)
            *error = text;
        return false;
    };

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failWith(QStringLiteral("Cannot write file %1: %2").arg(path, file.errorString()));

    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    request.setTransferTimeout(stallTimeoutMs);
    QPointer<QNetworkReply> reply = manager.get(request);
    qint64 received = 0;
    bool tooLarge = false;
    bool writeFailed = false;
    auto drain = [&] {
        const QByteArray chunk = reply->readAll();
        received += chunk.size();
        if (received > maxBytes) {
            tooLarge = true;
            reply->abort();
            return;
        }
        if (file.write(chunk) != chunk.size()) {
            writeFailed = true;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, drain);

    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer deadline;
    deadline.setSingleShot(true);
    bool timedOut = false;
    if (totalTimeoutMs > 0) {
        QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
            timedOut = true;
            reply->abort();
        });
        deadline.start(totalTimeoutMs);
    }
    // Nested wait: only this function's locals are touched until it returns.
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!reply)
        return failWith(QStringLiteral("The request was cancelled."));
    if (!tooLarge && !writeFailed && reply->error() == QNetworkReply::NoError)
        drain();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QString failure;
    if (timedOut)
        failure = QStringLiteral("No complete answer from %1 in time.").arg(url.toString());
    else if (tooLarge)
        failure =
            QStringLiteral("The answer from %1 is larger than %2 bytes.").arg(url.toString()).arg(maxBytes);
    else if (writeFailed)
        failure = QStringLiteral("Cannot write file %1: %2").arg(path, file.errorString());
    else if (reply->error() != QNetworkReply::NoError)
        failure = reply->errorString();
    else if (status < 200 || status > 299)
        failure = QStringLiteral("%1 answered HTTP %2.").arg(url.toString()).arg(status);
    if (!failure.isEmpty()) {
        file.cancelWriting();
        return failWith(failure);
    }
    if (!file.commit())
        return failWith(QStringLiteral("Cannot write file %1: %2").arg(path, file.errorString()));
    return true;
}

} // namespace skyhaul
