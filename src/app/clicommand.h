#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

// What the commands of the command line share. Each command (--dump,
// --batch, ...) lives in a file of its own and parses its options with CLI11,
// which says each option once; this header holds the one policy for a bad
// command line and for output that cannot be written.

/// Exit status of a command line that cannot be understood.
inline constexpr int ExitUsage = 2;

/// The usage text of every command.
std::string UsageText();

/// Parses args (the command's own option first) with app. On a bad command
/// line it writes the reason and the usage to err and returns false: the
/// caller exits with ExitUsage.
bool ParseCommand(CLI::App& app, const std::vector<std::string>& args, std::ostream& err);

/// Writes to a stream and keeps the first failure's reason, read from errno
/// at the moment the write failed (later calls may change errno).
class TOutput {
public:
    explicit TOutput(std::ostream& stream) : m_stream(stream) {}
    /// False once any write or flush has failed.
    bool Write(std::string_view bytes);
    bool Flush();
    bool Failed() const { return m_failed; }
    /// "Cannot write WHAT. REASON." for the first failure.
    std::string FailureText(std::string_view what) const;

private:
    void noteFailure();
    std::ostream& m_stream;
    bool m_failed = false;
    int m_errno = 0;
};

// The commands; args start with the command's own option.
int RunDumpCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunBatchCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunEditCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunCheckCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

extern const std::string_view DumpUsage;
extern const std::string_view BatchUsage;
extern const std::string_view EditUsage;
extern const std::string_view CheckUsage;
