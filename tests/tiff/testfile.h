#pragma once

#include "support/tiffbuilder.h"
#include "tiff/tiff.h"

#include <memory>
#include <string>
#include <vector>

/// A TTiffFile opened on bytes, with the messages it reported.
struct OpenedTiff {
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> messages;   ///< the texts the listing shows
    std::vector<TReaderMessage> reports; ///< every message
    std::unique_ptr<TTiffFile> file;

    explicit OpenedTiff(std::vector<std::uint8_t> data, const std::string& name = "test.tif")
        : bytes(std::move(data)), file(std::make_unique<TTiffFile>([this](const TReaderMessage& m) {
              reports.push_back(m);
              if (!m.Text.empty())
                  messages.push_back(m.Text);
          }))
    {
        file->OpenBuffer(name, bytes);
    }
    const TTiffPage& page(int i = 0) const { return *file->Pages.GetPage(i); }
    const TTag& tag(int i, int p = 0) const { return *page(p).Tags.GetTag(i); }
};
