#include "shell/launcherror.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<int, std::string_view>, 13> LaunchErrors{{
    {0, "The operating system is out of memory or resources."},
    {2, "The viewer or file to launch was not found."},
    {3, "The specified path was not found."},
    {5, "The operating system denied access to the specified file."},
    {8, "There was not enough memory to complete the operation."},
    {11, "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image)."},
    {26, "A sharing violation occurred."},
    {27, "The filename association is incomplete or invalid."},
    {28, "The DDE transaction could not be completed because the request timed out."},
    {29, "The DDE transaction failed."},
    {30, "The DDE transaction could not be completed because other DDE transactions were being processed."},
    {31, "There is no application associated with the given filename extension."},
    {32, "The specified dynamic-link library was not found."},
}};

} // namespace

std::optional<std::string_view> LaunchErrorText(int code)
{
    const auto it = std::find_if(LaunchErrors.begin(), LaunchErrors.end(),
                                 [code](const auto& entry) { return entry.first == code; });
    if (it == LaunchErrors.end())
        return std::nullopt;
    return it->second;
}

void RaiseLaunchError(int code)
{
    if (const auto message = LaunchErrorText(code))
        throw ELaunchError(code, *message);
}
