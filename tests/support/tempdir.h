#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

/// A fresh directory under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    /// Writes a file (creating parent folders) and returns its full path.
    std::string Write(const std::string& relative, const std::vector<std::uint8_t>& bytes) const;
    std::string Write(const std::string& relative, std::string_view text) const;

private:
    std::filesystem::path m_path;
};

std::vector<std::uint8_t> ReadAll(const std::string& path);
