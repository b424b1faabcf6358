#include "store/io/ansitext.h"

#include <QTest>

#include <cstring>

using namespace skyhaul;

class TestAnsiText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The locale's 8-bit encoding is UTF-8 here; a cut never leaves half a character.
    void cutsOnCharacterBoundaries_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxBytes");
        QTest::addColumn<QString>("kept");
        const QString e = QStringLiteral("\u00e9");         // 2 bytes
        const QString han = QStringLiteral("\ud55c");       // 3 bytes
        const QString emoji = QStringLiteral("\U0001F600"); // 4 bytes, a surrogate pair
        const QString eAcute = QStringLiteral("e\u0301");   // 3 bytes, one grapheme
        QTest::newRow("short text whole") << QStringLiteral("abc") << 255 << QStringLiteral("abc");
        QTest::newRow("300 ascii to 255")
            << QString(300, QLatin1Char('h')) << 255 << QString(255, QLatin1Char('h'));
        QTest::newRow("exactly 255") << QString(255, QLatin1Char('h')) << 255
                                     << QString(255, QLatin1Char('h'));
        QTest::newRow("2-byte chars: 127 fit") << e.repeated(200) << 255 << e.repeated(127);
        QTest::newRow("3-byte chars: 85 fit") << han.repeated(100) << 255 << han.repeated(85);
        QTest::newRow("2-byte char across the end dropped")
            << QString(254, QLatin1Char('a')) + e << 255 << QString(254, QLatin1Char('a'));
        QTest::newRow("4-byte char across the end dropped")
            << QString(253, QLatin1Char('a')) + emoji << 255 << QString(253, QLatin1Char('a'));
        QTest::newRow("combining mark kept with its letter")
            << QString(253, QLatin1Char('a')) + eAcute << 255 << QString(253, QLatin1Char('a'));
        QTest::newRow("small cap") << QStringLiteral("ab") + han << 4 << QStringLiteral("ab");
        QTest::newRow("empty") << QString() << 255 << QString();
    }
    void cutsOnCharacterBoundaries()
    {
        QFETCH(QString, text);
        QFETCH(int, maxBytes);
        QFETCH(QString, kept);
        const QByteArray bytes = toAnsi(text, maxBytes);
        QVERIFY(bytes.size() <= maxBytes);
        QCOMPARE(fromAnsi(bytes), kept);
        QCOMPARE(bytes, kept.toUtf8());
    }

    void slotHasLengthByteAndZeroTail()
    {
        char slot[256];
        std::memset(slot, 0x55, sizeof slot);
        writeTextSlot(slot, "abc");
        QCOMPARE(QByteArray(slot, 4), QByteArray("\x03"
                                                 "abc",
                                                 4));
        QCOMPARE(QByteArray(slot + 4, 252), QByteArray(252, '\0'));
        QCOMPARE(readTextSlot(slot), QByteArray("abc"));

        // Whatever follows the text in a slot is ignored on reading.
        std::memset(slot, 0x55, sizeof slot);
        slot[0] = 2;
        QCOMPARE(readTextSlot(slot), QByteArray("\x55\x55"));
        slot[0] = char(255);
        QCOMPARE(readTextSlot(slot).size(), 255);
    }
};

QTEST_GUILESS_MAIN(TestAnsiText)
#include "tst_ansitext.moc"
