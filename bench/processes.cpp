#include "processes.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char **environ;

namespace bench {

double monotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void sleepFor(double seconds) {
    if (seconds <= 0)
        return;
    timespec ts{static_cast<time_t>(seconds),
                static_cast<long>((seconds - std::floor(seconds)) * 1e9)};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

pid_t spawn(const std::vector<std::string> &argv, const std::map<std::string, std::string> &env,
            const std::string &stdoutPath, const std::string &stderrPath) {
    std::map<std::string, std::string> merged;
    for (char **e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const auto eq = entry.find('=');
        if (eq != std::string::npos)
            merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto &[name, value] : env) {
        if (value.empty())
            merged.erase(name);
        else
            merged[name] = value;
    }
    std::vector<std::string> envText;
    for (const auto &[name, value] : merged)
        envText.push_back(name + "=" + value);
    std::vector<char *> envp;
    for (std::string &e : envText)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char *> argp;
    for (std::string &a : args)
        argp.push_back(a.data());
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stdoutPath.empty())
        posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!stderrPath.empty())
        posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    return pid;
}

int waitFor(pid_t pid, double seconds) {
    const double until = monotonicNow() + seconds;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return status;
        if (done < 0)
            return 0; // not ours any more
        if (monotonicNow() >= until)
            return -1;
        sleepFor(0.005);
    }
}

void stop(pid_t pid, int signal, double seconds) {
    if (pid <= 0)
        return;
    kill(pid, signal);
    if (waitFor(pid, seconds) == -1) {
        kill(pid, SIGKILL);
        waitFor(pid, 5.0);
    }
}

std::string capture(const std::vector<std::string> &argv,
                    const std::map<std::string, std::string> &env, double seconds) {
    char path[] = "/tmp/korvane-bench-capture-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0)
        throw std::runtime_error("cannot make a temporary file");
    close(fd);
    const pid_t pid = spawn(argv, env, path);
    if (waitFor(pid, seconds) == -1)
        stop(pid, SIGKILL);
    const std::string text = readFile(path);
    unlink(path);
    return text;
}

std::string readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> splitWords(const std::string &line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    std::string word;
    while (in >> word)
        words.push_back(word);
    return words;
}

namespace {
std::vector<std::string> threadsOf(pid_t pid) {
    std::vector<std::string> tids;
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    if (DIR *d = opendir(dir.c_str())) {
        while (const dirent *e = readdir(d)) {
            if (e->d_name[0] != '.')
                tids.push_back(dir + "/" + e->d_name);
        }
        closedir(d);
    }
    return tids;
}

long statusField(pid_t pid, const std::string &path, const char *field) {
    std::istringstream in(
        readFile(path.empty() ? "/proc/" + std::to_string(pid) + "/status" : path + "/status"));
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0)
            return std::strtol(line.c_str() + key.size(), nullptr, 10);
    }
    return 0;
}
} // namespace

CpuUse cpuUse(pid_t pid) {
    CpuUse use;
    // The command name in field 2 may hold blanks: count fields from the closing parenthesis.
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close != std::string::npos) {
        const std::vector<std::string> f = splitWords(stat.substr(close + 1));
        // After ")": state is field 3, utime field 14, stime field 15.
        if (f.size() > 12) {
            const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
            use.statSeconds = (std::stod(f[11]) + std::stod(f[12])) / tick;
        }
    }
    for (const std::string &task : threadsOf(pid)) {
        const std::vector<std::string> s = splitWords(readFile(task + "/schedstat"));
        if (!s.empty())
            use.schedSeconds += std::stod(s[0]) / 1e9;
        use.wakeUps += statusField(pid, task, "voluntary_ctxt_switches");
    }
    return use;
}

long residentKiB(pid_t pid) {
    return statusField(pid, {}, "VmRSS");
}

long peakResidentKiB(pid_t pid) {
    return statusField(pid, {}, "VmHWM");
}

double median(std::vector<double> values) {
    return percentile(std::move(values), 50.0);
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return std::nan("");
    std::sort(values.begin(), values.end());
    // Linear interpolation between the two nearest ranks.
    const double rank = p / 100.0 * static_cast<double>(values.size() - 1);
    const auto lo = static_cast<std::size_t>(std::floor(rank));
    const auto hi = std::min(lo + 1, values.size() - 1);
    return values[lo] + (values[hi] - values[lo]) * (rank - static_cast<double>(lo));
}

std::vector<double> wakeUpDelays(double asleep, double seconds) {
    int writer = -1, reader = -1;
    if (openpty(&writer, &reader, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("no pseudo-terminal for the wake-up measure");
    termios raw{};
    tcgetattr(reader, &raw);
    cfmakeraw(&raw);
    tcsetattr(reader, TCSANOW, &raw);
    const pid_t child = fork();
    if (child == 0) {
        // The writer: stamps the moment it writes into the bytes it writes.
        close(reader);
        const double until = monotonicNow() + seconds;
        while (monotonicNow() < until) {
            sleepFor(asleep);
            const double stamp = monotonicNow();
            if (write(writer, &stamp, sizeof stamp) != static_cast<ssize_t>(sizeof stamp))
                _exit(1);
        }
        _exit(0);
    }
    close(writer);
    std::vector<double> delays;
    if (child < 0) {
        close(reader);
        return delays;
    }
    double stamp = 0;
    std::size_t have = 0;
    for (;;) {
        pollfd p{reader, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(1000 * (asleep + 1))) <= 0 || (p.revents & POLLIN) == 0)
            break; // the writer is done
        const double woke = monotonicNow();
        const ssize_t n =
            read(reader, reinterpret_cast<char *>(&stamp) + have, sizeof stamp - have);
        if (n <= 0)
            break;
        have += static_cast<std::size_t>(n);
        if (have == sizeof stamp) {
            delays.push_back(1000.0 * (woke - stamp));
            have = 0;
        }
    }
    close(reader);
    waitFor(child, 5);
    return delays;
}

Radio startRadio(const std::string &simPath, const std::vector<std::string> &options,
                 const std::string &workDir, const std::string &name) {
    Radio radio;
    radio.log = workDir + "/" + name + ".log";
    const std::string out = workDir + "/" + name + ".out";
    std::vector<std::string> argv{simPath, "--log", radio.log};
    argv.insert(argv.end(), options.begin(), options.end());
    radio.pid = spawn(argv, {}, out);
    // Its first line of output is the pseudo-terminal to open.
    const double until = monotonicNow() + 10.0;
    while (monotonicNow() < until) {
        const std::string text = readFile(out);
        const auto eol = text.find('\n');
        if (eol != std::string::npos) {
            radio.device = text.substr(0, eol);
            return radio;
        }
        sleepFor(0.01);
    }
    stop(radio.pid, SIGTERM);
    throw std::runtime_error("the simulated radio did not start");
}

void stopRadio(Radio &radio) {
    if (radio.pid > 0) {
        kill(radio.pid, SIGCONT); // a radio held still by a driver
        stop(radio.pid, SIGTERM);
    }
    radio.pid = -1;
}

namespace {
// A loopback port free now: the kernel's pick for a socket bound to port 0.
int freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        close(fd);
    return port;
}

bool listening(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok =
        fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    if (fd >= 0)
        close(fd);
    return ok;
}
} // namespace

Server startSer2net(const std::string &device, const std::string &workDir,
                    const std::string &name) {
    std::string program;
    for (const char *candidate :
         {"/usr/sbin/ser2net", "/usr/bin/ser2net", "/usr/local/sbin/ser2net"})
        if (program.empty() && access(candidate, X_OK) == 0)
            program = candidate;
    if (program.empty())
        throw std::runtime_error("ser2net is not installed (scripts/install-deps.sh)");
    const int port = freePort();
    const std::string config = workDir + "/" + name + ".yaml";
    std::ofstream(config) << "%YAML 1.1\n---\nconnection: &radio\n"
                          << "    accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1," << port << "\n"
                          << "    connector: serialdev," << device << ",9600n81,local\n"
                          << "    options:\n      chardelay: false\n";
    Server server;
    server.pid = spawn({program, "-n", "-d", "-c", config}, {}, workDir + "/" + name + ".out",
                       workDir + "/" + name + ".err");
    for (const double until = monotonicNow() + 10.0; monotonicNow() < until; sleepFor(0.02)) {
        if (listening(port)) {
            server.url = "rfc2217://127.0.0.1:" + std::to_string(port);
            sleepFor(0.2); // the probe's connection above is ser2net's to forget
            return server;
        }
    }
    stopServer(server);
    throw std::runtime_error("ser2net did not listen on 127.0.0.1:" + std::to_string(port));
}

void stopServer(Server &server) {
    if (server.pid > 0)
        stop(server.pid, SIGTERM);
    server.pid = -1;
}

RadioLog readRadioLog(const std::string &path) {
    return korvane::test::readRadioLog(korvane::test::radioLogText(QString::fromStdString(path)));
}

} // namespace bench
