#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// The fuzzer's body, shared with the regression test that replays the kept
// inputs under the ordinary sanitizer build.

/// Reads bytes as a TIFF file, from memory and from a file, and builds
/// everything the program shows of it: the listing of every page in decimal
/// and hexadecimal, the status texts, the batch line of every page with every
/// default tag checked, and the checker's findings and layout. Returns the
/// expectations the result broke, empty when all hold; a crash, a leak or a
/// sanitizer report is the other way to fail.
std::vector<std::string> ExerciseReader(std::span<const std::uint8_t> bytes);
