#pragma once
// The serial control on real pseudo-terminals: the console opens the slave end as COM3 through the
// port table, and the test plays the radio on the master end. One test program over three files:
// opening, settings and output (tst_mscomm.cpp), input and comm events (mscomm_input.cpp), a
// device that goes away (mscomm_loss.cpp).

#include "device/mscomm.h"
#include "support/pty_pair.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <ctime>
#include <map>
#include <memory>
#include <thread>
#include <unistd.h>

using korvane::MSComm;
using korvane::RunTimeError;
using korvane::test::PtyPair;

namespace mscomm_test {

constexpr std::int16_t kPort = 3;

// Runs `step` and returns the error it raised (number 0 when it raised none).
template <typename Step> inline RunTimeError raised(Step step) {
    try {
        step();
    } catch (const RunTimeError &error) {
        return error;
    }
    return RunTimeError(0, QString());
}

inline double processCpuSeconds() {
    timespec used{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

} // namespace mscomm_test

using namespace mscomm_test;

class TstMSComm : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void openAndClose_data();
    void openAndClose();
    void openFailures_data();
    void openFailures();
    void permissionDenied();
    void inUseByAnother();
    void propertiesGuarded();
    void closedPortAnswers();
    void outputGoesOutAtOnce();
    void outputRefusesEightBitText();
    void outputBacklogCountedAndDrained();
    void inputCountsAndReads();
    void inputLenLimitsRead();
    void discardDropsDriverAndControlBytes();
    void waitForInputWakesOnArrival();
    void waitForInputTimesOut();
    void onCommOnlyFromThePump();
    void onCommAgainWhenThresholdReturns();
    void noOnCommWhileThresholdZero();
    void raisedEventComesFromThePump();
    void lostDeviceReportedOnce();
    void lostDuringWait();
    void lostWhileSending();
    void inputTakenBeforeLossStaysReadable();
    void lateWakeUpIsNotALoss();
    void openStartsEmpty();

private:
    std::unique_ptr<PtyPair> m_radio;
    std::map<int, QString> m_ports; // the port table the control looks ports up in
    std::unique_ptr<MSComm> m_comm;

    // Opens COM3 as the console does; says why when it could not.
    QString openComm() {
        const RunTimeError error = raised([&] {
            m_comm->setCommPort(kPort);
            m_comm->setSettings(QStringLiteral("9600,O,7,1"));
            m_comm->setRThreshold(1);
            m_comm->setPortOpen(true);
        });
        return error.number() == 0 ? QString() : error.message();
    }
};
