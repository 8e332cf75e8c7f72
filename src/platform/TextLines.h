#pragma once
// A text file as a list of lines, the way the data files are kept: UTF-8, lines ended by CR LF.
// A UTF-8 byte-order mark found when loading is remembered and written back.
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace wl {

class TextLines {
public:
    std::vector<std::string> lines;
    bool bom = false;

    // Splits on CR LF, lone LF and lone CR; a final line break does not add an empty line.
    void SetText(std::string_view text);
    // Lines joined and each ended by CR LF (the BOM is not part of the text).
    std::string Text() const;

    // Throws std::runtime_error naming the file when it cannot be read.
    void LoadFromFile(const std::filesystem::path& file, std::size_t maxBytes = 0);
    // Atomic whole-file write (WriteFileAtomic); throws on failure.
    void SaveToFile(const std::filesystem::path& file) const;
};

}  // namespace wl
