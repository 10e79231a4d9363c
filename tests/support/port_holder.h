#pragma once
// A second program holding (or trying to take) a device, as Korvane would open it: the test
// program itself, started again with the holder's argument and the device. It opens the device
// with its own serial control, answers "open" or the message it got on its first line of output,
// and holds the device until its standard input closes.
//
// A test program that uses it starts its main() with
//     if (const std::optional<int> status = runAsPortHolder(argc, argv)) return *status;

#include <QProcess>
#include <QString>
#include <optional>

namespace korvane::test {

class OtherProgram {
public:
    explicit OtherProgram(const QString &device);
    ~OtherProgram() { letGo(); }
    OtherProgram(const OtherProgram &) = delete;
    OtherProgram &operator=(const OtherProgram &) = delete;

    // "open", or the message it got.
    QString answer() const { return m_answer; }
    void letGo();

private:
    QProcess m_process;
    QString m_answer;
};

// When this run of the program is the holder, holds the device and returns the exit status;
// otherwise returns nothing and the program goes on as itself.
std::optional<int> runAsPortHolder(int argc, char *argv[]);

} // namespace korvane::test
