// velquin --edit: rewrites the text of an ASCII tag in place, with every check
// of the window's editor, so that scripts can correct many files.
#include "app/cli.h"
#include "app/clicommand.h"
#include "tiff/asciiedit.h"
#include "tiff/errors.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <climits>
#include <ostream>

const std::string_view EditUsage = "       velquin --edit FILE --page N --tag T --text TEXT\n"
                                   "                                      write TEXT into the first tag T of page N\n";

namespace {

/// A whole decimal number from low to high; anything else is refused.
bool parseNumber(const std::string& text, int low, int high, int& value)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && value >= low && value <= high;
}

} // namespace

int RunEditCommand(const std::vector<std::string>& args, std::ostream&, std::ostream& err)
{
    std::string path, pageText, tagText, text;
    CLI::App app;
    app.add_option("--edit", path)->required();
    app.add_option("--page", pageText)->required();
    app.add_option("--tag", tagText)->required();
    app.add_option("--text", text)->required();
    if (!ParseCommand(app, args, err))
        return ExitUsage;
    int page = 0, tag = 0;
    if (!parseNumber(pageText, 1, INT_MAX, page)) {
        err << "velquin: --page takes a page number from 1, not '" << pageText << "'\n";
        return ExitUsage;
    }
    if (!parseNumber(tagText, 0, 65535, tag)) {
        err << "velquin: --tag takes a tag number from 0 to 65535, not '" << tagText << "'\n";
        return ExitUsage;
    }

    const std::string where = "velquin: " + path + ": ";
    try {
        EditTagText(path, page, static_cast<std::uint16_t>(tag), text,
                    [&](const std::string& message) { err << where << message << '\n'; });
    } catch (const EFOpenError& e) {
        err << WithFullStop(e.what()) << '\n'; // names the file itself, as --dump does
        return 1;
    } catch (const EVelquinError& e) {
        err << where << e.what() << '\n';
        return 1;
    }
    return 0;
}
