// The README's table of errors is the one in base/run_time_error.h: the same numbers, texts and
// notes of when, in the same order. A new error, or a changed word, fails here until both agree.

#include "base/run_time_error.h"

#include <QFile>
#include <QStringList>
#include <QTest>

using korvane::ErrorKind;

class TestErrorTable : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readmeTableIsTheCodes();
};

void TestErrorTable::readmeTableIsTheCodes() {
    QFile readme(QStringLiteral(KORVANE_README));
    QVERIFY2(readme.open(QIODevice::ReadOnly | QIODevice::Text), qPrintable(readme.fileName()));
    // The rows of the "Errors" section's table that start with a number: "| 8002 | ... | ... |".
    QStringList documented;
    bool inErrors = false;
    for (const QString &line : QString::fromUtf8(readme.readAll()).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("## ")))
            inErrors = line == QLatin1String("## Errors");
        if (!inErrors || !line.startsWith(QLatin1Char('|')))
            continue;
        QStringList cells = line.split(QLatin1Char('|'));
        cells = cells.mid(1, cells.size() - 2);
        bool isNumber = false;
        (void)cells.value(0).trimmed().toInt(&isNumber);
        if (!isNumber)
            continue; // the heading and its rule
        for (QString &cell : cells)
            cell = cell.trimmed();
        documented << cells.join(QLatin1String(" | "));
    }
    QStringList coded;
    for (const ErrorKind &kind : korvane::err::kErrors)
        coded << QStringLiteral("%1 | %2 | %3")
                     .arg(QString::number(kind.number), QString::fromUtf8(kind.text),
                          QString::fromUtf8(kind.when));
    QCOMPARE(documented, coded);
}

QTEST_APPLESS_MAIN(TestErrorTable)
#include "tst_error_table.moc"
