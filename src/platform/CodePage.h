#pragma once
// Text in a Windows code page (as older documents carry it) turned into UTF-8.
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wl {

// Decodes bytes written in a Windows code page (1251, 1252, 932, 65001, ...) to UTF-8. An unknown
// code page is read as Windows-1251; a byte sequence the code page does not define becomes U+FFFD.
// Never throws for bad input. Keeps one converter per code page used, so one object per document
// is cheap; an object belongs to one thread.
class TCodePageText {
  public:
    TCodePageText();
    ~TCodePageText();
    TCodePageText(const TCodePageText&) = delete;
    TCodePageText& operator=(const TCodePageText&) = delete;

    // Appends the UTF-8 text of `bytes` to `out`.
    void Append(int codePage, std::string_view bytes, std::string& out);

  private:
    class Converter;
    Converter& For(int codePage);
    std::vector<std::pair<int, std::unique_ptr<Converter>>> FConverters;
};

}  // namespace wl
