#include "commandline.h"
#include "commandrunner.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <iostream>
#include <iterator>
#include <string>

namespace {

// The whole of standard input, less one line end: `echo secret | veltra-find ...` gives "secret".
QString readPassword()
{
    const std::string input{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    QString text = QString::fromLocal8Bit(input.data(), qsizetype(input.size()));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return text;
}

} // namespace

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
    runner.setStdinReader(readPassword);
    return runner.run(*options);
}
