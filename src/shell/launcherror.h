#pragma once

#include "tiff/errors.h"

#include <optional>
#include <string_view>

/// A start through the shell that failed, with the shell's words for it.
class ELaunchError : public EVelquinError {
public:
    ELaunchError(int code, std::string_view message) : EVelquinError(std::string(message)), Code(code) {}
    int Code;
};

/// The message for a shell result code of 32 or less; none for codes the
/// shell leaves unexplained (1, 4, 6, 7, 9, 10, 12 to 25, above 32).
std::optional<std::string_view> LaunchErrorText(int code);

/// Throws ELaunchError for a code with a message; returns for any other.
void RaiseLaunchError(int code);
