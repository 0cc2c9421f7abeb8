#pragma once

#include <cstdint>
#include <span>
#include <string_view>

struct TTagDescriptionRow {
    std::int32_t Number;
    std::string_view Name;
};

/// The name shown for every number without a row: "Unknown Tag" and six blanks.
inline constexpr std::string_view UnknownTagName = "Unknown Tag      ";

/// Short display name of a tag number; never fails.
std::string_view GetTagDescription(std::int32_t number);

/// The whole table, sorted by number (for tests and the batch tag list).
std::span<const TTagDescriptionRow> TagDescriptionTable();
