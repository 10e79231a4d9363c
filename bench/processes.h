#pragma once
// What the benchmark needs to run other programs and watch them from outside: starting a program
// with its own environment, stopping it by its id, reading its processor time and memory from
// /proc, and starting the simulated radio on a fresh pseudo-terminal with its event log in a file.
//
// Every time here is CLOCK_MONOTONIC, the clock the simulated radio stamps its log with, so that
// the benchmark can set its own observations against the radio's.

#include "support/radio_log.h"

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace bench {

// Seconds on CLOCK_MONOTONIC.
double monotonicNow();
void sleepFor(double seconds);

// Starts `argv` with the environment changed by `env` (an empty value removes the variable).
// Standard output and error go to the files named, or stay the benchmark's own when empty.
pid_t spawn(const std::vector<std::string> &argv, const std::map<std::string, std::string> &env,
            const std::string &stdoutPath = {}, const std::string &stderrPath = {});
// Waits up to `seconds` for the child to end; returns its exit status, or -1 if it still runs.
int waitFor(pid_t pid, double seconds);
// Sends `signal`, waits up to `seconds`, then kills it for good. Only ever our own children.
void stop(pid_t pid, int signal, double seconds = 3.0);

// Runs a program to its end (killing it after `seconds`) and returns what it wrote on standard
// output.
std::string capture(const std::vector<std::string> &argv,
                    const std::map<std::string, std::string> &env = {}, double seconds = 600);

struct CpuUse {
    double statSeconds = 0;  // utime + stime of /proc/PID/stat, all threads, clock-tick steps
    double schedSeconds = 0; // the scheduler's run time of all threads, nanosecond steps
    long wakeUps = 0;        // voluntary context switches of all threads: each is one sleep
};
CpuUse cpuUse(pid_t pid);

// Resident set and its peak, in KiB, from /proc/PID/status.
long residentKiB(pid_t pid);
long peakResidentKiB(pid_t pid);

double median(std::vector<double> values);
double percentile(std::vector<double> values, double p); // p in [0, 100]

std::string readFile(const std::string &path);
std::vector<std::string> splitWords(const std::string &line);

// The machine's own share of every report's way to the screen: how late a process asleep for
// `asleep` seconds wakes when another process writes a byte to it through a pseudo-terminal, in
// milliseconds, one value per wake-up over `seconds`.
std::vector<double> wakeUpDelays(double asleep, double seconds);

// The simulated radio on a new pseudo-terminal.
struct Radio {
    pid_t pid = -1;
    std::string device; // the pseudo-terminal the console opens
    std::string log;    // its event log
};
Radio startRadio(const std::string &simPath, const std::vector<std::string> &options,
                 const std::string &workDir, const std::string &name);
void stopRadio(Radio &radio);

// ser2net on 127.0.0.1 serving `device` (the radio's pseudo-terminal) with the com-port option
// (RFC 2217), configured as the README's recipe has it (no Nagle delay, no character delay); its
// configuration and log in `workDir`. Throws when it is not installed or does not listen.
struct Server {
    pid_t pid = -1;
    std::string url; // "rfc2217://127.0.0.1:PORT": the console's port table entry
};
Server startSer2net(const std::string &device, const std::string &workDir, const std::string &name);
void stopServer(Server &server);

// What the radio's log says happened, read by the tests' own reader of it.
using korvane::test::RadioLog;
RadioLog readRadioLog(const std::string &path);

} // namespace bench
