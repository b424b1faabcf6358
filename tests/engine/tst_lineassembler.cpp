#include "engine/control/features.h"
#include "engine/control/lineassembler.h"
#include "engine/listing/mlsdparser.h"

#include <QTest>

using skyhaul::engine::Features;
using skyhaul::engine::LineAssembler;
using skyhaul::engine::Reply;
using skyhaul::engine::ReplyJudge;
using namespace Qt::StringLiterals;

namespace {

/// Feeds the input in two pieces split at `cut`, taking lines as they complete.
QList<QByteArray> assemble(const QByteArray& input, qsizetype cut, qsizetype bufferSize,
                           LineAssembler::Overflow overflow)
{
    LineAssembler assembler(bufferSize, overflow);
    QList<QByteArray> lines;
    for (const QByteArray& piece : {input.left(cut), input.mid(cut)}) {
        qsizetype pos = 0;
        while (pos < piece.size()) {
            pos += assembler.feed(piece.constData() + pos, piece.size() - pos);
            if (assembler.hasLine())
                lines.append(assembler.takeLine());
        }
    }
    if (assembler.flush())
        lines.append(assembler.takeLine());
    return lines;
}

} // namespace

class TestLineAssembler : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QList<QByteArray>>("lines");
        using L = QList<QByteArray>;
        QTest::newRow("crlf") << QByteArray("220 a\r\n230 b\r\n") << L{"220 a", "230 b"};
        QTest::newRow("lf") << QByteArray("220 a\n230 b\n") << L{"220 a", "230 b"};
        QTest::newRow("cr") << QByteArray("220 a\r230 b\r") << L{"220 a", "230 b"};
        QTest::newRow("lfcr pair is one end") << QByteArray("220 a\n\r230 b\n\r") << L{"220 a", "230 b"};
        QTest::newRow("crcr is two ends") << QByteArray("220 a\r\r230 b\r\n") << L{"220 a", "", "230 b"};
        QTest::newRow("crlfcrlf gives an empty line")
            << QByteArray("220 a\r\n\r\n230 b\r\n") << L{"220 a", "", "230 b"};
        QTest::newRow("last line without end") << QByteArray("220 a\r\n230 b") << L{"220 a", "230 b"};
    }

    // Every split point of the input must give the same lines (a pair cut by the end of a piece too).
    void lineEnds()
    {
        QFETCH(QByteArray, input);
        QFETCH(QList<QByteArray>, lines);
        for (qsizetype cut = 0; cut <= input.size(); ++cut) {
            for (auto overflow : {LineAssembler::Overflow::Join, LineAssembler::Overflow::Split})
                QCOMPARE(assemble(input, cut, 2048, overflow), lines);
        }
    }

    void longLineJoinedOnControlConnection()
    {
        const QByteArray line = "250 " + QByteArray(5000, 'x');
        for (qsizetype cut : {qsizetype(0), qsizetype(1), qsizetype(2047), qsizetype(2048), qsizetype(4100)})
            QCOMPARE(assemble(line + "\r\n", cut, 2048, LineAssembler::Overflow::Join),
                     QList<QByteArray>{line});
    }

    void longLineSplitOnDataConnection()
    {
        const QByteArray line = QByteArray(2048, 'a') + QByteArray(100, 'b');
        const QList<QByteArray> expected{QByteArray(2048, 'a'), QByteArray(100, 'b')};
        for (qsizetype cut = 0; cut <= line.size() + 2; cut += 97)
            QCOMPARE(assemble(line + "\r\n", cut, 2048, LineAssembler::Overflow::Split), expected);
    }

    void joinedLineHasAHardCap()
    {
        const QByteArray huge(LineAssembler::kJoinedLineCap + 5000, 'z');
        const QList<QByteArray> lines = assemble(huge + "\nnext\n", 100, 2048, LineAssembler::Overflow::Join);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0].size(), LineAssembler::kJoinedLineCap);
        QCOMPARE(lines[1], QByteArray("next"));
    }

    void stopsAfterEachLine()
    {
        // Lines the server sends early must stay unread until they are awaited.
        LineAssembler assembler(2048, LineAssembler::Overflow::Join);
        const QByteArray input = "226 done\r\n150 late\r\n";
        const qsizetype used = assembler.feed(input.constData(), input.size());
        QCOMPARE(used, qsizetype(10));
        QCOMPARE(assembler.takeLine(), QByteArray("226 done"));
    }

    void judge_data()
    {
        QTest::addColumn<bool>("afterAbort");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QList<int>>("verdicts");
        using V = ReplyJudge::Verdict;
        using L = QList<QByteArray>;
        using I = QList<int>;
        QTest::newRow("single positive") << false << L{"200 ok"} << I{int(V::Positive)};
        QTest::newRow("intermediate is positive") << false << L{"331 pass"} << I{int(V::Positive)};
        QTest::newRow("preliminary") << false << L{"150 opening"} << I{int(V::Preliminary)};
        QTest::newRow("negative") << false << L{"530 no"} << I{int(V::Negative)};
        QTest::newRow("not a digit is negative") << false << L{"hello"} << I{int(V::Negative)};
        QTest::newRow("empty line read over") << false << L{""} << I{int(V::ReadOn)};
        QTest::newRow("multi-line with inner dashes")
            << false << L{"230-Welcome", "230-more", " text", "230"}
            << I{int(V::ReadOn), int(V::ReadOn), int(V::ReadOn), int(V::Positive)};
        QTest::newRow("multi-line closed by other code is read over")
            << false << L{"230-a", "220 b", "230 end"} << I{int(V::ReadOn), int(V::ReadOn), int(V::Positive)};
        QTest::newRow("426 after ABOR read over")
            << true << L{"426 aborted", "226 ok"} << I{int(V::ReadOn), int(V::Positive)};
        QTest::newRow("426 after other fails") << false << L{"426 aborted"} << I{int(V::Negative)};
    }

    void judge()
    {
        QFETCH(bool, afterAbort);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QList<int>, verdicts);
        ReplyJudge judge;
        judge.start(afterAbort);
        for (qsizetype i = 0; i < lines.size(); ++i)
            QCOMPARE(int(judge.judge(lines[i])), verdicts[i]);
    }

    void replyValue_data()
    {
        QTest::addColumn<bool>("afterAbort");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("replyLines");
        using L = QList<QByteArray>;
        using K = Reply::Kind;
        QTest::newRow("single line") << false << L{"200 ok"} << int(K::Positive) << 200
                                     << QStringList{u"200 ok"_s};
        QTest::newRow("multi-line keeps every line")
            << false << L{"211-Features:", " MDTM", " SIZE", "211 End"} << int(K::Positive) << 211
            << QStringList{u"211-Features:"_s, u" MDTM"_s, u" SIZE"_s, u"211 End"_s};
        QTest::newRow("inner line with another code stays inside")
            << false << L{"230-a", "220 b", "230 end"} << int(K::Positive) << 230
            << QStringList{u"230-a"_s, u"220 b"_s, u"230 end"_s};
        QTest::newRow("multi-line closed by the code alone")
            << false << L{"250-x", "250"} << int(K::Positive) << 250 << QStringList{u"250-x"_s, u"250"_s};
        QTest::newRow("preliminary read over: only the final reply")
            << false << L{"150 opening", "226-done", "226 bye"} << int(K::Positive) << 226
            << QStringList{u"226-done"_s, u"226 bye"_s};
        QTest::newRow("426 after ABOR read over")
            << true << L{"426 aborted", "226 ok"} << int(K::Positive) << 226 << QStringList{u"226 ok"_s};
        QTest::newRow("intermediate")
            << false << L{"350 Restarting"} << int(K::Positive) << 350 << QStringList{u"350 Restarting"_s};
        QTest::newRow("multi-line refusal: the final line last")
            << false << L{"550-No such file", "550 Try again"} << int(K::Negative) << 550
            << QStringList{u"550-No such file"_s, u"550 Try again"_s};
        QTest::newRow("line without a code")
            << false << L{"hello"} << int(K::Negative) << 0 << QStringList{u"hello"_s};
        QTest::newRow("two digits are no code")
            << false << L{"25 x"} << int(K::Positive) << 0 << QStringList{u"25 x"_s};
        QTest::newRow("empty line before the reply")
            << false << L{"", "200 ok"} << int(K::Positive) << 200 << QStringList{QString(), u"200 ok"_s};
        QTest::newRow("preliminary stopped at")
            << false << L{"150 opening"} << int(K::Preliminary) << 150 << QStringList{u"150 opening"_s};
    }

    // The reply a command gets is a value: its kind and code from the final line, and its own lines only.
    void replyValue()
    {
        QFETCH(bool, afterAbort);
        QFETCH(QList<QByteArray>, lines);
        ReplyJudge judge;
        judge.start(afterAbort);
        ReplyJudge::Verdict last = ReplyJudge::Verdict::ReadOn;
        for (const QByteArray& line : lines)
            last = judge.judge(line);
        QVERIFY(last != ReplyJudge::Verdict::ReadOn && last != ReplyJudge::Verdict::Violation);
        const Reply reply = judge.reply();
        QTEST(int(reply.kind), "kind");
        QTEST(reply.code, "code");
        QTEST(reply.lines, "replyLines");
        QCOMPARE(reply.text(), reply.lines.constLast());
        // The next reply starts empty.
        judge.start(false);
        QCOMPARE(judge.judge("200 next"), ReplyJudge::Verdict::Positive);
        QCOMPARE(judge.reply().lines, QStringList{u"200 next"_s});
    }

    void replyBounds_data()
    {
        QTest::addColumn<int>("innerLines");
        QTest::addColumn<qsizetype>("extraBytes");
        QTest::addColumn<QByteArray>("lastLine");
        QTest::addColumn<int>("violation");
        using V = ReplyJudge::Violation;
        const int most = ReplyJudge::kMaxLines;
        QTest::newRow("as many lines as allowed")
            << most - 2 << qsizetype(0) << QByteArray("220 end") << int(V::None);
        QTest::newRow("one line too many")
            << most - 1 << qsizetype(0) << QByteArray("220 end") << int(V::TooManyLines);
        QTest::newRow("bytes without a line end")
            << 0 << ReplyJudge::kMaxBytes + 1 << QByteArray("220 end") << int(V::TooManyBytes);
        QTest::newRow("NUL in a line")
            << 0 << qsizetype(0) << QByteArrayLiteral("220 a\0b") << int(V::NulByte);
        QTest::newRow("NUL in an inner line")
            << 3 << qsizetype(0) << QByteArrayLiteral("220-a\0b") << int(V::NulByte);
    }

    // A reply that never ends, or that would smuggle a NUL into a name, breaks the protocol.
    void replyBounds()
    {
        QFETCH(int, innerLines);
        QFETCH(qsizetype, extraBytes);
        QFETCH(QByteArray, lastLine);
        QFETCH(int, violation);
        ReplyJudge judge;
        judge.start(false);
        QCOMPARE(judge.judge("220-first"), ReplyJudge::Verdict::ReadOn);
        for (int i = 0; i < innerLines; ++i)
            QCOMPARE(judge.judge("220-more"), ReplyJudge::Verdict::ReadOn);
        const ReplyJudge::Verdict byBytes = judge.take(extraBytes);
        const ReplyJudge::Verdict last = judge.judge(lastLine);
        QCOMPARE(int(judge.violation()), violation);
        if (violation == int(ReplyJudge::Violation::None)) {
            QCOMPARE(last, ReplyJudge::Verdict::Positive);
        } else {
            QCOMPARE(last, ReplyJudge::Verdict::Violation);
            QCOMPARE(byBytes == ReplyJudge::Verdict::Violation,
                     violation == int(ReplyJudge::Violation::TooManyBytes));
        }
        // A new reply starts clean.
        judge.start(false);
        QCOMPARE(judge.judge("200 ok"), ReplyJudge::Verdict::Positive);
    }

    void featuresOfReply_data()
    {
        QTest::addColumn<QStringList>("replyLines");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QStringList>("keywords"); // sorted, upper case
        QTest::addColumn<QString>("mlstFacts");
        QTest::addColumn<QString>("enable"); // the OPTS MLST argument for the facts the listing reads
        const int positive = int(Reply::Kind::Positive);
        const int negative = int(Reply::Kind::Negative);
        QTest::newRow("typical")
            << QStringList{u"211-Features:"_s, u" MDTM"_s, u" MLST type*;size*;modify*;"_s,
                           u" UTF8"_s,         u" EPSV"_s, u"211 End"_s}
            << positive << true << QStringList{u"EPSV"_s, u"MDTM"_s, u"MLST"_s, u"UTF8"_s}
            << u"type*;size*;modify*;"_s << QString();
        QTest::newRow("lower case, no leading blank")
            << QStringList{u"211-Extensions supported:"_s, u"mlst Type*;Size*;"_s, u"mfmt"_s, u"211 END"_s}
            << positive << true << QStringList{u"MFMT"_s, u"MLST"_s} << u"Type*;Size*;"_s << QString();
        QTest::newRow("facts offered but off are asked for, unknown ones dropped")
            << QStringList{u"211-Features:"_s,
                           u" MLST type*;perm*;size*;modify*;unique*;unix.mode;unix.uid;unix.gid;"_s,
                           u"211 End"_s}
            << positive << true << QStringList{u"MLST"_s}
            << u"type*;perm*;size*;modify*;unique*;unix.mode;unix.uid;unix.gid;"_s
            << u"type;perm;size;modify;unix.mode;unix.uid;unix.gid;"_s;
        QTest::newRow("server's spelling kept")
            << QStringList{u"211-Features:"_s, u" MLST Type*;Size*;UNIX.mode;"_s, u"211 End"_s} << positive
            << true << QStringList{u"MLST"_s} << u"Type*;Size*;UNIX.mode;"_s << u"Type;Size;UNIX.mode;"_s;
        QTest::newRow("code repeated on inner lines")
            << QStringList{u"211-Features"_s, u"211-SIZE"_s, u" REST STREAM"_s, u"211 End"_s} << positive
            << true << QStringList{u"REST"_s} << QString() << QString();
        QTest::newRow("single line: nothing listed") << QStringList{u"211 No features"_s} << positive << true
                                                     << QStringList{} << QString() << QString();
        QTest::newRow("refused") << QStringList{u"500 FEAT not understood"_s} << negative << false
                                 << QStringList{} << QString() << QString();
        QTest::newRow("refused with a list still lists nothing")
            << QStringList{u"502-No"_s, u" MLST type;"_s, u"502 End"_s} << negative << false << QStringList{}
            << QString() << QString();
    }
    void featuresOfReply()
    {
        QFETCH(QStringList, replyLines);
        QFETCH(int, kind);
        Reply reply;
        reply.kind = Reply::Kind(kind);
        reply.lines = replyLines;
        reply.code = replyLines.constLast().left(3).toInt();
        const Features features = Features::fromReply(reply);
        QTEST(features.answered, "answered");
        QTEST(features.entries.keys(), "keywords");
        QTEST(features.parameters(u"mlst"_s), "mlstFacts");
        QTEST(features.mlstFactsToEnable(skyhaul::engine::mlsdFactsRead()), "enable");
        QCOMPARE(features.mlst(), features.entries.contains(u"MLST"_s));
    }
};

QTEST_APPLESS_MAIN(TestLineAssembler)
#include "tst_lineassembler.moc"
