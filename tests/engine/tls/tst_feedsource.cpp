// The ciphertext source a TLS session reads from: bytes lent for one feed, bytes kept between feeds and bytes
// added from inside a feed come out in the order they arrived, whatever the reads' sizes, and nothing is read
// from a lent buffer after keep() (the caller reuses it).
#include "engine/tls/feedbio.h"

#include <QTest>

#include <openssl/bio.h>

using namespace skyhaul::engine;

class TestFeedSource : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void order_data()
    {
        QTest::addColumn<int>("readSize");
        QTest::addColumn<int>("readsDuringFirstFeed");
        QTest::newRow("one byte at a time, nothing read in the first feed") << 1 << 0;
        QTest::newRow("one byte at a time, part of the first feed read") << 1 << 3;
        QTest::newRow("five bytes (a record header) at a time") << 5 << 1;
        QTest::newRow("everything at once") << 1000 << 1;
    }

    void order()
    {
        QFETCH(int, readSize);
        QFETCH(int, readsDuringFirstFeed);
        FeedSource source;
        BIO* bio = source.makeBio();
        QVERIFY(bio);
        QByteArray out;
        const auto readSome = [&](int reads) {
            for (int i = 0; i < reads; ++i) {
                char buffer[1000];
                size_t got = 0;
                if (BIO_read_ex(bio, buffer, size_t(readSize), &got) != 1)
                    break;
                out.append(buffer, qsizetype(got));
            }
        };

        // The caller's buffer is lent, then reused for the next feed.
        QByteArray buffer("first-feed|");
        source.lend(buffer);
        readSome(readsDuringFirstFeed);
        source.append("nested|"); // fed from inside a callback of the first feed
        source.keep();
        buffer.fill('X');
        buffer = "second-feed|";
        source.lend(buffer);
        QCOMPARE(source.size(), qsizetype(30) - out.size());
        readSome(1000);
        source.keep();

        QCOMPARE(out, QByteArray("first-feed|nested|second-feed|"));
        QCOMPARE(source.size(), 0);
        // Empty is "more to come": a retry, never the end of the stream.
        char byte = 0;
        size_t got = 0;
        QCOMPARE(BIO_read_ex(bio, &byte, 1, &got), 0);
        QVERIFY(BIO_should_retry(bio));
        QVERIFY(BIO_should_read(bio));
        QCOMPARE(BIO_ctrl_pending(bio), size_t(0));
        BIO_free(bio);
    }
};

QTEST_GUILESS_MAIN(TestFeedSource)
#include "tst_feedsource.moc"
