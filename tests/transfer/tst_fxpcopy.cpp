// What a server-to-server copy takes from the replies and the queue: the PORT argument read from a PASV reply
// by the engine's own parser, and the relative path sent to both servers.
#include "transfer/fxpcopy.h"

#include <QTest>

using namespace skyhaul;
using namespace Qt::StringLiterals;

class TestFxpCopy : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void portArgument_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("argument"); // empty: no address
        QTest::newRow("usual") << u"227 Entering Passive Mode (10,0,0,5,19,136)"_s << u"10,0,0,5,19,136"_s;
        QTest::newRow("a full stop after the parenthesis")
            << u"227 Entering Passive Mode (10,0,0,5,19,136)."_s << u"10,0,0,5,19,136"_s;
        QTest::newRow("no parentheses") << u"227 Passive 127,0,0,1,4,1"_s << u"127,0,0,1,4,1"_s;
        QTest::newRow("leading zeros") << u"227 ok (127,000,0,01,4,01)"_s << u"127,0,0,1,4,1"_s;
        QTest::newRow("no numbers") << u"227 Entering Passive Mode"_s << QString();
        QTest::newRow("five numbers") << u"227 (1,2,3,4,5)"_s << QString();
        QTest::newRow("a number above 255") << u"227 (1,2,3,256,5,6)"_s << QString();
        QTest::newRow("port 0") << u"227 (127,0,0,1,0,0)"_s << QString();
    }

    void portArgument()
    {
        QFETCH(QString, reply);
        QFETCH(QString, argument);
        QCOMPARE(FxpCopy::portArgument(reply).value_or(QString()), argument);
    }

    void directWay_data()
    {
        QTest::addColumn<bool>("sourceTls");
        QTest::addColumn<QStringList>("sourceFeatures");
        QTest::addColumn<bool>("destinationTls");
        QTest::addColumn<QStringList>("destinationFeatures");
        QTest::addColumn<QString>("way"); // listener, its command, the SSCN side; empty: relayed
        const QStringList none;
        QTest::newRow("plain") << false << none << false << none << u"source PASV -"_s;
        QTest::newRow("plain, features not needed")
            << false << QStringList{u"SSCN"_s} << false << none << u"source PASV -"_s;
        QTest::newRow("only the source protects")
            << true << QStringList{u"CPSV"_s} << false << none << QString();
        QTest::newRow("only the destination protects")
            << false << none << true << QStringList{u"SSCN"_s} << QString();
        QTest::newRow("TLS, nothing offered") << true << QStringList{u"EPSV"_s} << true << none << QString();
        QTest::newRow("TLS, CPSV on the source") << true << QStringList{u"CPSV"_s, u"SSCN"_s} << true
                                                 << QStringList{u"SSCN"_s} << u"source CPSV -"_s;
        QTest::newRow("TLS, SSCN on the destination")
            << true << QStringList{u"SSCN"_s} << true << QStringList{u"SSCN"_s}
            << u"source PASV destination"_s;
        QTest::newRow("TLS, SSCN on the source")
            << true << QStringList{u"SSCN"_s} << true << QStringList{u"CPSV"_s} << u"source PASV source"_s;
        QTest::newRow("TLS, CPSV on the destination only")
            << true << none << true << QStringList{u"CPSV"_s} << u"destination CPSV -"_s;
    }

    void directWay()
    {
        QFETCH(bool, sourceTls);
        QFETCH(QStringList, sourceFeatures);
        QFETCH(bool, destinationTls);
        QFETCH(QStringList, destinationFeatures);
        QFETCH(QString, way);
        auto features = [](const QStringList& keywords) {
            engine::Features f;
            f.answered = true;
            for (const QString& keyword : keywords)
                f.entries.insert(keyword, QString());
            return f;
        };
        QString why;
        const std::optional<FxpCopy::DirectWay> found =
            FxpCopy::directWay(sourceTls, features(sourceFeatures), destinationTls,
                               features(destinationFeatures), Texts::defaults(texttables::RemoteForm), &why);
        QString shown;
        if (found) {
            const char* sscn[] = {"-", "source", "destination"};
            shown = (found->sourceListens ? u"source "_s : u"destination "_s) + found->listenCommand + u' ' +
                    QString::fromLatin1(sscn[int(found->sscn)]);
        }
        QCOMPARE(shown, way);
        QCOMPARE(why.isEmpty(), !way.isEmpty());
    }

    void unreachableReply_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("unreachable");
        QTest::newRow("no data connection") << u"425 Can't open data connection."_s << true;
        QTest::newRow("connection closed") << u"426 Connection closed; transfer aborted."_s << true;
        QTest::newRow("TLS failed") << u"522 SSL connection failed: session reuse required"_s << true;
        QTest::newRow("file unavailable") << u"550 No such file"_s << false;
        QTest::newRow("done") << u"226 Transfer complete"_s << false;
    }

    void unreachableReply()
    {
        QFETCH(QString, reply);
        QFETCH(bool, unreachable);
        QCOMPARE(FxpCopy::unreachableReply(reply), unreachable);
    }

    void relativePath_data()
    {
        QTest::addColumn<QString>("sourcePath");
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("rel"); // empty: refused
        QTest::newRow("a file below the base") << u"/pub/a.txt"_s << u"/pub"_s << u"a.txt"_s;
        QTest::newRow("deeper") << u"/pub/sub/b.txt"_s << u"/pub"_s << u"sub/b.txt"_s;
        QTest::newRow("at the root") << u"/a.txt"_s << QString() << u"a.txt"_s;
        QTest::newRow("outside the base") << u"/public/a.txt"_s << u"/pub"_s << QString();
        QTest::newRow("a listed .. in the path") << u"/pub/../etc/x"_s << u"/pub"_s << QString();
        QTest::newRow("an empty part") << u"/pub//x"_s << u"/pub"_s << QString();
        QTest::newRow("a line break") << u"/pub/a\r\nDELE b"_s << u"/pub"_s << QString();
    }

    void relativePath()
    {
        QFETCH(QString, sourcePath);
        QFETCH(QString, base);
        QFETCH(QString, rel);
        QString problem;
        QCOMPARE(FxpCopy::relativePath(sourcePath, base, &problem), rel);
        QCOMPARE(problem.isEmpty(), !rel.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFxpCopy)
#include "tst_fxpcopy.moc"
