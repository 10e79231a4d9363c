// The Timer value's arithmetic and the three time formats of the "Times" frame.

#include "base/run_time_error.h"
#include "base/timer_value.h"
#include "text/receive_text.h"

#include <QtTest>

using namespace korvane;

class TestTimerValue : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void midnightCorrection_data();
    void midnightCorrection();
    void momentTimerExceedsIsTheFirstStepPastTheLimit();
    void signPlace_data();
    void signPlace();
    void elapsed_data();
    void elapsed();
    void elapsedRejectsText();
};

void TestTimerValue::midnightCorrection_data() {
    QTest::addColumn<double>("remembered");
    QTest::addColumn<double>("now");
    QTest::addColumn<double>("expected");
    QTest::newRow("same day") << 100.0 << 101.5 << 100.0;
    QTest::newRow("past midnight") << 86399.0 << 0.2 << -1.0;
    QTest::newRow("clock set back") << 50000.0 << 40000.0 << 50000.0 - 86400.0;
    // Equal in single precision though not in double: not moved.
    QTest::newRow("within one step") << 80000.001 << 80000.0 << 80000.001;
}

void TestTimerValue::midnightCorrection() {
    QFETCH(double, remembered);
    QFETCH(double, now);
    QTEST(midnightCorrected(remembered, now), "expected");
}

void TestTimerValue::momentTimerExceedsIsTheFirstStepPastTheLimit() {
    for (double base : {100.0, 45296.515625, 86398.0, -1.0}) {
        const double moment = momentTimerExceeds(base, 1.55);
        const auto timerAt = [](double t) { return double(float(t)); };
        QVERIFY2(timerAt(moment + 1e-6) - base > 1.55, qPrintable(QString::number(base)));
        QVERIFY2(timerAt(moment - 1e-4) - base <= 1.55, qPrintable(QString::number(base)));
    }
}

void TestTimerValue::signPlace_data() {
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("afternoon") << 45296.515625f << " 45296.52";
    QTest::newRow("whole number") << 3600.0f << " 3600";
    QTest::newRow("early morning") << 12.25f << " 12.25";
    QTest::newRow("midnight") << 0.0f << " 0";
}

void TestTimerValue::signPlace() {
    QFETCH(float, value);
    QTEST(signPlaceForm(value), "text");
}

void TestTimerValue::elapsed_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("response");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("expected");
    QTest::newRow("fifteen digits") << " 45296.79"
                                    << "45296.92"
                                    << "C"
                                    << "0.129999999997381";
    QTest::newRow("across midnight") << " 86399.5"
                                     << "0.25"
                                     << "C"
                                     << "0.75";
    QTest::newRow("comma locale") << " 45296.79"
                                  << "45296,92"
                                  << "de_DE"
                                  << "0,129999999997381";
}

void TestTimerValue::elapsed() {
    QFETCH(QString, command);
    QFETCH(QString, response);
    QFETCH(QString, locale);
    QTEST(elapsedTimeText(command, response, QLocale(locale)), "expected");
}

void TestTimerValue::elapsedRejectsText() {
    // No command sent yet: the box is empty and the conversion fails.
    QVERIFY_THROWS_EXCEPTION(RunTimeError, elapsedTimeText(QString(), QStringLiteral("1.5")));
}

QTEST_APPLESS_MAIN(TestTimerValue)
#include "tst_timer_value.moc"
