#include "app/cli.h"

#include "app/clicommand.h"
#include "tiff/errors.h"

#include <CLI/CLI.hpp>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <ostream>

namespace {

struct TCommandEntry {
    std::string_view Option;
    const std::string_view* Usage;
    int (*Run)(const std::vector<std::string>&, std::ostream&, std::ostream&);
};

// Every command, in the order the usage lists them.
const std::array kCommands{
    TCommandEntry{"--dump", &DumpUsage, RunDumpCommand},
    TCommandEntry{"--batch", &BatchUsage, RunBatchCommand},
    TCommandEntry{"--edit", &EditUsage, RunEditCommand},
    TCommandEntry{"--check", &CheckUsage, RunCheckCommand},
};

constexpr std::string_view kWindowUsage = "Usage: velquin [FILE]                 open FILE in the viewer window\n";
constexpr std::string_view kHelpUsage = "       velquin --help | --version\n";

bool isHelp(const std::string& a)
{
    return a == "--help" || a == "-h";
}

const TCommandEntry* findCommand(const std::string& option)
{
    for (const TCommandEntry& c : kCommands)
        if (c.Option == option)
            return &c;
    return nullptr;
}

/// Whether any of the eight bytes at p is one that AppendEscapedCell may
/// escape; the tests are exact for the word as a whole.
bool mayNeedEscape(const char* p)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    constexpr std::uint64_t kHigh = 0x8080808080808080u;
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    const auto hasZero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHigh; };
    const std::uint64_t below32 = (w - kOnes * 0x20) & ~w & kHigh;
    return (below32 | hasZero(w ^ (kOnes * 0x7F)) | hasZero(w ^ (kOnes * '\\')) | hasZero(w ^ (kOnes * 0xC2))) != 0;
}

char* writeHexEscape(char* out, unsigned code)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    *out++ = '\\';
    *out++ = 'x';
    *out++ = kDigits[(code >> 4) & 0xF];
    *out++ = kDigits[code & 0xF];
    return out;
}

} // namespace

std::string UsageText()
{
    std::string text(kWindowUsage);
    for (const TCommandEntry& c : kCommands)
        text += *c.Usage;
    text += kHelpUsage;
    return text;
}

bool ParseCommand(CLI::App& app, const std::vector<std::string>& args, std::ostream& err)
{
    // Extras are collected rather than thrown, so the message can name the
    // first one the way the rest of the program words its refusals.
    app.allow_extras();
    app.set_help_flag();
    std::vector<std::string> reversed(args.rbegin(), args.rend()); // CLI11 takes them last first
    std::string problem;
    try {
        app.parse(reversed);
        const std::vector<std::string> extras = app.remaining();
        if (!extras.empty()) {
            const std::string& first = extras.front();
            problem = first.size() > 1 && first[0] == '-' ? "unknown option '" + first + "'"
                                                          : "unexpected argument '" + first + "'";
        }
    } catch (const CLI::ParseError& e) {
        problem = e.what();
    }
    if (problem.empty())
        return true;
    err << "velquin: " << problem << '\n' << UsageText();
    return false;
}

bool TOutput::Write(std::string_view bytes)
{
    if (m_failed)
        return false;
    m_stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!m_stream)
        noteFailure();
    return !m_failed;
}

bool TOutput::Flush()
{
    if (m_failed)
        return false;
    m_stream.flush();
    if (!m_stream)
        noteFailure();
    return !m_failed;
}

void TOutput::noteFailure()
{
    m_errno = errno; // first, before anything else can change it
    m_failed = true;
}

std::string TOutput::FailureText(std::string_view what) const
{
    std::string text = "Cannot write " + std::string(what) + ".";
    if (m_errno != 0)
        text += std::string(" ") + std::strerror(m_errno);
    return WithFullStop(text);
}

char* WriteEscapedCell(char* out, std::string_view utf8)
{
    // Bytes that may need an escape: C0 controls, DEL, the backslash, and the
    // lead byte of U+0080..U+009F. Everything else is copied as it stands.
    static constexpr auto kSpecial = [] {
        std::array<bool, 256> t{};
        for (int c = 0; c < 0x20; ++c)
            t[static_cast<std::size_t>(c)] = true;
        t[0x7F] = t['\\'] = t[0xC2] = true;
        return t;
    }();
    const char* p = utf8.data();
    const char* const end = p + utf8.size();
    // Eight bytes at once while none needs an escape, then one at a time
    // up to where the next eight begin.
    const char* stop = p;
    while (p < end) {
        if (p >= stop) {
            if (end - p >= 8 && !mayNeedEscape(p)) {
                std::memcpy(out, p, 8);
                out += 8;
                p += 8;
                continue;
            }
            stop = p + 8;
        }
        const auto c = static_cast<unsigned char>(*p++);
        if (!kSpecial[c]) {
            *out++ = static_cast<char>(c);
        } else if (c == '\\') {
            *out++ = '\\';
            *out++ = '\\';
        } else if (c == 0xC2) {
            // Only C2 80..C2 9F encode the C1 controls; C2 before anything
            // else is a character of its own (or a byte of a name) and stays.
            const auto next = p < end ? static_cast<unsigned char>(*p) : 0u;
            if (next >= 0x80 && next <= 0x9F) {
                out = writeHexEscape(out, next);
                ++p;
            } else {
                *out++ = static_cast<char>(c);
            }
        } else {
            out = writeHexEscape(out, c);
        }
    }
    return out;
}

void AppendEscapedCell(std::string& out, std::string_view utf8)
{
    const std::size_t old = out.size();
    out.resize(old + 4 * utf8.size());
    out.resize(static_cast<std::size_t>(WriteEscapedCell(out.data() + old, utf8) - out.data()));
}

std::string EscapeCell(std::string_view utf8)
{
    std::string out;
    AppendEscapedCell(out, utf8);
    return out;
}

bool IsCommandLineMode(const std::vector<std::string>& args)
{
    // Only no arguments, or a file name first, start the window; anything
    // that looks like an option is the command line's, known or not.
    return !args.empty() && args[0].size() > 1 && args[0][0] == '-' && args[0] != "--";
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    try {
        if (args.empty() || isHelp(args[0]) || args[0] == "--version") {
            if (args.size() > 1) {
                err << "velquin: unexpected argument '" << args[1] << "'\n" << UsageText();
                return ExitUsage;
            }
            TOutput output(out);
            output.Write(args.empty() || isHelp(args[0]) ? UsageText()
                                                         : "velquin " + std::string(VelquinVersion) + "\n");
            if (!output.Flush()) {
                err << "velquin: " << output.FailureText("standard output") << '\n';
                return 1;
            }
            return 0;
        }
        if (const TCommandEntry* command = findCommand(args[0]))
            return command->Run(args, out, err);
        err << "velquin: unknown option '" << args[0] << "'\n" << UsageText();
        return ExitUsage;
    } catch (const std::bad_alloc&) {
        err << "velquin: not enough memory\n";
        return 1;
    } catch (const std::exception& e) {
        err << "velquin: " << WithFullStop(e.what()) << '\n';
        return 1;
    }
}
