#include "tests/support/testcertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <mutex>

namespace skyhaul::test {

namespace {

const int opensslTimeoutMs = 30000;

// Configuration of "openssl ca", used only to give the expired certificate dates in the past
// ("req" and "x509" of OpenSSL 3.0 cannot set a start date).
const char caConfig[] = "[ca]\n"
                        "default_ca = testca\n"
                        "[testca]\n"
                        "dir = .\n"
                        "database = index.txt\n"
                        "new_certs_dir = .\n"
                        "serial = serial\n"
                        "default_md = sha256\n"
                        "policy = anything\n"
                        "copy_extensions = copy\n"
                        "unique_subject = no\n"
                        "[anything]\n"
                        "commonName = supplied\n";

QString baseName(CertKind kind)
{
    switch (kind) {
    case CertKind::SelfSigned:
        return QStringLiteral("selfsigned");
    case CertKind::OtherName:
        return QStringLiteral("othername");
    case CertKind::Expired:
        return QStringLiteral("expired");
    case CertKind::CaSigned:
        return QStringLiteral("casigned");
    }
    return {};
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

const TestCertificates& TestCertificates::instance()
{
    // The folder lives until the process ends; QTemporaryDir removes it then.
    static std::unique_ptr<QTemporaryDir> dir;
    static std::unique_ptr<TestCertificates> certificates;
    static std::once_flag once;
    std::call_once(once, [] {
        dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/skyhaul-certs-XXXXXX"));
        certificates.reset(new TestCertificates);
        if (!dir->isValid()) {
            certificates->m_error =
                QStringLiteral("cannot create a folder for test certificates: ") + dir->errorString();
            return;
        }
        certificates->generate(dir->path());
    });
    return *certificates;
}

CertFiles TestCertificates::files(CertKind kind) const
{
    const QString base = m_dir + QLatin1Char('/') + baseName(kind);
    CertFiles result;
    result.certFile = base + QStringLiteral(".crt");
    result.keyFile = base + QStringLiteral(".key");
    result.combinedFile = base + QStringLiteral(".pem");
    result.issuerFile = kind == CertKind::CaSigned ? caCertFile() : result.certFile;
    return result;
}

QString TestCertificates::caCertFile() const
{
    return m_dir + QStringLiteral("/ca.crt");
}

QString TestCertificates::kindName(CertKind kind)
{
    return baseName(kind);
}

bool TestCertificates::openssl(const QStringList& arguments)
{
    QProcess process;
    process.setWorkingDirectory(m_dir);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForStarted(opensslTimeoutMs)) {
        m_error = QStringLiteral("cannot run openssl: ") + process.errorString();
        return false;
    }
    if (!process.waitForFinished(opensslTimeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        m_error = QStringLiteral("openssl %1 did not finish in time").arg(arguments.join(QLatin1Char(' ')));
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = QStringLiteral("openssl %1 failed: %2")
                      .arg(arguments.join(QLatin1Char(' ')), QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

void TestCertificates::generate(const QString& dir)
{
    m_dir = dir;
    // Servers that drop privileges read the files as another user.
    QFile::setPermissions(m_dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                     QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);

    const QString localNames = QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost");
    const QString leafUsage = QStringLiteral("extendedKeyUsage=serverAuth");
    auto selfSigned = [&](CertKind kind, const QString& subject, const QString& altNames) {
        const CertFiles f = files(kind);
        return openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                        QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                        f.keyFile, QStringLiteral("-out"), f.certFile, QStringLiteral("-days"),
                        QStringLiteral("3650"), QStringLiteral("-subj"), subject, QStringLiteral("-addext"),
                        altNames});
    };

    bool ok = selfSigned(CertKind::SelfSigned, QStringLiteral("/O=Skyhaul tests/CN=127.0.0.1"), localNames) &&
              selfSigned(CertKind::OtherName, QStringLiteral("/O=Skyhaul tests/CN=other.example"),
                         QStringLiteral("subjectAltName=DNS:other.example"));

    // Expired: a request signed by its own key through "openssl ca" with dates in the past.
    if (ok) {
        const CertFiles f = files(CertKind::Expired);
        const QString csr = m_dir + QStringLiteral("/expired.csr");
        ok = writeFile(m_dir + QStringLiteral("/ca.cnf"), caConfig) &&
             writeFile(m_dir + QStringLiteral("/index.txt"), {}) &&
             writeFile(m_dir + QStringLiteral("/serial"), "1000\n") &&
             openssl({QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-newkey"),
                      QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                      f.keyFile, QStringLiteral("-out"), csr, QStringLiteral("-subj"),
                      QStringLiteral("/O=Skyhaul tests/CN=127.0.0.1"), QStringLiteral("-addext"),
                      localNames}) &&
             openssl({QStringLiteral("ca"), QStringLiteral("-batch"), QStringLiteral("-config"),
                      QStringLiteral("ca.cnf"), QStringLiteral("-selfsign"), QStringLiteral("-keyfile"),
                      f.keyFile, QStringLiteral("-in"), csr, QStringLiteral("-out"), f.certFile,
                      QStringLiteral("-startdate"), QStringLiteral("20200101000000Z"),
                      QStringLiteral("-enddate"), QStringLiteral("20200201000000Z"),
                      QStringLiteral("-notext")});
        if (!ok && m_error.isEmpty())
            m_error = QStringLiteral("cannot write the files of the test CA configuration");
    }

    // A small CA and a leaf it signed.
    if (ok) {
        const QString caKey = m_dir + QStringLiteral("/ca.key");
        const CertFiles f = files(CertKind::CaSigned);
        const QString csr = m_dir + QStringLiteral("/casigned.csr");
        ok = openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                      QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"), caKey,
                      QStringLiteral("-out"), caCertFile(), QStringLiteral("-days"), QStringLiteral("3650"),
                      QStringLiteral("-subj"), QStringLiteral("/O=Skyhaul tests/CN=Skyhaul Test CA"),
                      QStringLiteral("-addext"), QStringLiteral("basicConstraints=critical,CA:TRUE"),
                      QStringLiteral("-addext"), QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")}) &&
             openssl({QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-newkey"),
                      QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                      f.keyFile, QStringLiteral("-out"), csr, QStringLiteral("-subj"),
                      QStringLiteral("/O=Skyhaul tests/CN=127.0.0.1"), QStringLiteral("-addext"), localNames,
                      QStringLiteral("-addext"), leafUsage}) &&
             openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), csr,
                      QStringLiteral("-CA"), caCertFile(), QStringLiteral("-CAkey"), caKey,
                      QStringLiteral("-set_serial"), QStringLiteral("4096"), QStringLiteral("-days"),
                      QStringLiteral("3650"), QStringLiteral("-copy_extensions"), QStringLiteral("copy"),
                      QStringLiteral("-out"), f.certFile});
    }

    if (ok) {
        for (CertKind kind :
             {CertKind::SelfSigned, CertKind::OtherName, CertKind::Expired, CertKind::CaSigned}) {
            const CertFiles f = files(kind);
            if (!writeFile(f.combinedFile, readFile(f.certFile) + readFile(f.keyFile))) {
                m_error = QStringLiteral("cannot write ") + f.combinedFile;
                return;
            }
        }
        // Readable by server processes that run as another user (these keys protect nothing).
        const QDir folder(m_dir);
        for (const QString& name : folder.entryList(QDir::Files))
            QFile::setPermissions(folder.filePath(name),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
}

} // namespace skyhaul::test
