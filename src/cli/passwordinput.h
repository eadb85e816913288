// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

#include <optional>

// The password of --password-stdin: one line of at most MaxBytes bytes, read byte by byte so
// that nothing beyond it is taken, whatever the input. On a terminal the line is typed without
// echo; the terminal's settings come back afterwards, also when reading fails or a signal ends
// the program meanwhile.
class PasswordInput
{
public:
    static constexpr int MaxBytes = 1024; // before the line end

    // Reads from `fd` up to the first line end (a CR before it is dropped too) or the end of the
    // input. nullopt with a message, which never holds the input, when the line is longer than
    // MaxBytes or the input cannot be read. `prompt` goes to standard error on a terminal only.
    static std::optional<QString> readLine(int fd, const QString &prompt, QString *error);
};
