// SPDX-License-Identifier: Apache-2.0
#include "cli/passwordinput.h"

#include <QByteArray>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <termios.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 4> EndingSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// The terminal's settings before echo went off, for the signal handler to put back.
int quietTerminal = -1;
termios savedSettings{};

extern "C" void restoreTerminalAndEnd(int signalNumber)
{
    // Only async-signal-safe calls: the settings back, then the signal's default action.
    tcsetattr(quietTerminal, TCSANOW, &savedSettings);
    struct sigaction defaultAction
    {
    };
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signalNumber, &defaultAction, nullptr);
    raise(signalNumber);
}

// Echo off on a terminal for its lifetime; the line end is still echoed, so that what follows
// starts on a line of its own.
class EchoOff
{
public:
    explicit EchoOff(int fd)
    {
        if (tcgetattr(fd, &savedSettings) != 0)
            return;
        quietTerminal = fd;
        struct sigaction action
        {
        };
        action.sa_handler = restoreTerminalAndEnd;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < EndingSignals.size(); ++i)
            sigaction(EndingSignals[i], &action, &previous[i]);
        termios quiet = savedSettings;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(fd, TCSANOW, &quiet);
    }
    ~EchoOff()
    {
        if (quietTerminal < 0)
            return;
        tcsetattr(quietTerminal, TCSANOW, &savedSettings);
        for (std::size_t i = 0; i < EndingSignals.size(); ++i)
            sigaction(EndingSignals[i], &previous[i], nullptr);
        quietTerminal = -1;
    }
    EchoOff(const EchoOff &) = delete;
    EchoOff &operator=(const EchoOff &) = delete;

private:
    std::array<struct sigaction, EndingSignals.size()> previous{};
};

} // namespace

std::optional<QString> PasswordInput::readLine(int fd, const QString &prompt, QString *error)
{
    std::optional<EchoOff> echoOff;
    if (isatty(fd)) {
        echoOff.emplace(fd);
        std::fputs(prompt.toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
    }
    QByteArray line;
    line.reserve(MaxBytes);
    std::optional<QString> password;
    for (;;) {
        char byte = 0;
        const ssize_t got = ::read(fd, &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *error = QStringLiteral("cannot read the password from standard input: %1")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
            break;
        }
        if (got == 0 || byte == '\n') {
            if (line.endsWith('\r'))
                line.chop(1);
            password = QString::fromLocal8Bit(line);
            break;
        }
        if (line.size() == MaxBytes) {
            *error = QStringLiteral("the password on standard input is longer than %1 bytes (it is one line of at "
                                    "most %1 bytes)")
                         .arg(MaxBytes);
            break;
        }
        line.append(byte);
    }
    line.fill('\0'); // no copy of the password stays behind in freed memory
    return password;
}
