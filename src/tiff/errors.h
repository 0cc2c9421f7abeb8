#pragma once

#include <stdexcept>
#include <string>

/// Every failure the core reports carries the text the user will see.
class EVelquinError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A read ran past the end of the data: "Stream read error".
class EReadError : public EVelquinError {
public:
    EReadError() : EVelquinError("Stream read error") {}
};

/// The file could not be opened; carries the path and the system's reason.
class EFOpenError : public EVelquinError {
public:
    using EVelquinError::EVelquinError;
};

/// Memory ran out while a file was read or shown.
class EOutOfMemory : public EVelquinError {
public:
    explicit EOutOfMemory(const std::string& path) : EVelquinError("not enough memory to read " + path) {}
};

/// Wrong byte-order mark or magic number.
class EInvalidTiff : public EVelquinError {
public:
    EInvalidTiff() : EVelquinError("Not a valid tiff file") {}
};

/// A text that should hold a whole number does not.
class EConvertError : public EVelquinError {
public:
    explicit EConvertError(const std::string& text) : EVelquinError("'" + text + "' is not a valid integer value") {}
};

/// A floating-point division that has no result.
class EMathError : public EVelquinError {
public:
    using EVelquinError::EVelquinError;
};

/// The application's rule for shown messages: a full stop is added when the
/// last character sorts after "." (a letter or a digit, for instance).
inline std::string WithFullStop(std::string message)
{
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        message.push_back('.');
    return message;
}
