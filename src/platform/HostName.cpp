#include "platform/HostName.h"

namespace wl {
namespace {

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsLabel(std::string_view label) {
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    for (char c : label)
        if (!IsLetter(c) && !(c >= '0' && c <= '9') && c != '-') return false;
    return true;
}

}  // namespace

bool IsHostName(std::string_view text) {
    if (text.empty() || text.size() > 253) return false;
    std::string_view last;
    for (;;) {
        const auto dot = text.find('.');
        last = text.substr(0, dot);
        if (!IsLabel(last)) return false;
        if (dot == std::string_view::npos) break;
        text.remove_prefix(dot + 1);
    }
    return IsLetter(last.front());
}

}  // namespace wl
