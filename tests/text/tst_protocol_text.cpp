// The texts of the radio protocol: where a line lands, what a command becomes on the wire, how a
// port box text becomes a number, and the comm-event messages.

#include "base/run_time_error.h"
#include "text/command_text.h"
#include "text/port_number.h"
#include "text/receive_text.h"
#include "text/token_keys.h"

#include <QtTest>

using namespace korvane;

class TestProtocolText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void slot_data();
    void slot();
    void everyKeyHasItsLabel();
    void encode_data();
    void encode();
    void emptyCommandIsRefused();
    void portNumber_data();
    void portNumber();
    void commEvents_data();
    void commEvents();
};

void TestProtocolText::slot_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("slot");
    QTest::newRow("F") << "F14.250" << 18;
    QTest::newRow("J") << "J0123" << 31;
    QTest::newRow("K shares U's slot") << "K1" << 17;
    QTest::newRow("U") << "U OK" << 17;
    QTest::newRow("QT") << "QT5" << 32;
    QTest::newRow("QC") << "QC5" << 34;
    QTest::newRow("Q other") << "QX" << 0;
    QTest::newRow("Q alone") << "Q" << 0;
    QTest::newRow("lower-case j") << "j12" << 0;
    QTest::newRow("lower-case q") << "qT" << 0;
    QTest::newRow("leading blank") << " F1" << 0;
    QTest::newRow("dot") << "." << 33;
    QTest::newRow("double quote") << "\"x" << 6;
    QTest::newRow("ampersand") << "&1" << 4;
    QTest::newRow("P") << "P1" << 35;
    QTest::newRow("NUL") << QString(QChar(0)) + "x" << 0;
    QTest::newRow("high byte") << QString(QChar(0xE9)) << 0;
}

void TestProtocolText::slot() {
    QFETCH(QString, line);
    QTEST(slotForLine(line), "slot");
}

void TestProtocolText::everyKeyHasItsLabel() {
    // Every slot but 0 is labelled, and a line beginning with the label lands in that slot
    // ("U" labels the slot that "K" shares).
    QSet<int> slots;
    for (int s = 1; s < kStatusSlots; ++s) {
        const QString label = labelForSlot(s);
        QVERIFY2(!label.isEmpty(), qPrintable(QString::number(s)));
        QCOMPARE(slotForLine(label + QStringLiteral("1")), s);
        slots.insert(s);
    }
    QVERIFY(labelForSlot(0).isEmpty());
    QCOMPARE(slots.size(), 35);
}

void TestProtocolText::encode_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("status preset") << "?!" << QByteArray("?\n");
    QTest::newRow("frequency preset, 9 bytes") << "F1000000!" << QByteArray("F1000000\n");
    QTest::newRow("two lines, 12 bytes") << "A! F1234567!" << QByteArray("A\n F1234567\n");
    QTest::newRow("typed without !") << "D" << QByteArray("D\n");
    QTest::newRow("! alone") << "!" << QByteArray("\n");
    QTest::newRow("!! keeps both") << "H!!" << QByteArray("H\n\n");
}

void TestProtocolText::encode() {
    QFETCH(QString, text);
    QTEST(encodeCommand(text).toLatin1(), "bytes");
}

void TestProtocolText::emptyCommandIsRefused() {
    try {
        encodeCommand(QString());
        QFAIL("an empty command was encoded");
    } catch (const RunTimeError &e) {
        QCOMPARE(e.number(), err::kInvalidArgument.number);
    }
}

void TestProtocolText::portNumber_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number"); // -1: type mismatch, -2: overflow
    QTest::newRow("plain") << "3" << 3;
    QTest::newRow("blanks") << " 12 " << 12;
    QTest::newRow("half rounds to even") << "2.5" << 2;
    QTest::newRow("word") << "COM3" << -1;
    QTest::newRow("empty") << "" << -1;
    QTest::newRow("too big") << "40000" << -2;
}

void TestProtocolText::portNumber() {
    QFETCH(QString, text);
    QFETCH(int, number);
    try {
        QCOMPARE(int(portNumberFromText(text)), number);
    } catch (const RunTimeError &e) {
        QCOMPARE(e.number(), number == -1 ? err::kTypeMismatch.number : err::kOverflow.number);
    }
}

void TestProtocolText::commEvents_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("1 shows nothing") << 1 << "";
    QTest::newRow("2 shows nothing") << 2 << "";
    QTest::newRow("CTS") << 3 << "Change in CTS Detected";
    QTest::newRow("ring") << 6 << "The Phone is Ringing";
    QTest::newRow("EOF") << 7 << "End of File Detected";
    QTest::newRow("break") << 1001 << "Break Received";
    QTest::newRow("framing") << 1004 << "Framing Error";
    QTest::newRow("1005") << 1005 << "Unknown error or event";
    QTest::newRow("0") << 0 << "Unknown error or event";
    QTest::newRow("DCB") << 1011 << "Error retrieving DCB";
}

void TestProtocolText::commEvents() {
    QFETCH(int, code);
    QTEST(commEventMessage(static_cast<std::int16_t>(code)), "message");
}

QTEST_APPLESS_MAIN(TestProtocolText)
#include "tst_protocol_text.moc"
