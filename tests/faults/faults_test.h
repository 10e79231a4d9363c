#pragma once
// The fault matrix's one test object; its cases are spread over the faults_*.cpp files by what
// goes wrong, and the table of case and expected outcome heads tst_faults.cpp.

#include <QObject>

class TestFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void radioHangsUp_data();
    void radioHangsUp();
    void radioHangsUpDuringTheDrainWait();
    void deviceCannotBeOpened_data();
    void deviceCannotBeOpened();
    void secondProgramCannotTakeTheOpenPort();
    void noisyLines_data();
    void noisyLines();
    void everyByteValue();
    void megabyteLine();
    void neverPausingStream_data();
    void neverPausingStream();
    void tensOfThousandsOfMeterLines();
    void backlogAfterTheAboutBox();
    void reportAcrossMidnight();
    void clockSetBack();
    void rapidProbeClicks();
    void pressHeldOverAPoll_data();
    void pressHeldOverAPoll();
    void clicksDuringTheDrainWait();
    void reopenedInTheMiddleOfAReport_data();
    void reopenedInTheMiddleOfAReport();
    void windowClosedInTheMiddleOfABurst();
    void commandOnAClosedPort_data();
    void commandOnAClosedPort();
    void overlongCommand_data();
    void overlongCommand();
};
