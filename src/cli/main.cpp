// SPDX-License-Identifier: Apache-2.0
#include "cli/commandline.h"
#include "cli/commandrunner.h"
#include "cli/passwordinput.h"
#include "cli/recordtable.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>

#include <unistd.h>

int main(int argc, char *argv[])
{
    // No window and no display: the core application only.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veltra-find"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELTRA_VERSION));
    // The shared classes' diagnostics are for the desktop program's debug stream; QT_LOGGING_RULES
    // still brings them back.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));

    QString error;
    const auto options = CommandLine::parse(QCoreApplication::arguments().mid(1), &error);
    if (!options) {
        std::fprintf(stderr, "veltra-find: %s\nTry 'veltra-find --help' for more information.\n",
                     RecordTable::printable(error).toLocal8Bit().constData());
        return CommandLine::BadInput;
    }
    if (options->help) {
        std::fputs(CommandLine::helpText(options->command).toLocal8Bit().constData(), stdout);
        return CommandLine::Success;
    }
    if (options->version) {
        std::printf("veltra-find %s\n", VELTRA_VERSION);
        return CommandLine::Success;
    }
    CommandRunner runner;
    runner.setStdinReader(
        [](QString *error) { return PasswordInput::readLine(STDIN_FILENO, QStringLiteral("Password: "), error); });
    return runner.run(*options);
}
