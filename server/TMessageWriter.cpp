#include "TMessageWriter.h"

#include "data/Json.h"

namespace wl {

TMessageWriter& TMessageWriter::Open() {
    out_.push_back('{');
    needComma_ = false;
    return *this;
}

TMessageWriter& TMessageWriter::Close() {
    out_.push_back('}');
    needComma_ = true;
    return *this;
}

TMessageWriter& TMessageWriter::Name(std::string_view name) {
    if (needComma_) out_.push_back(',');
    String(name);
    out_.push_back(':');
    needComma_ = false;
    return *this;
}

TMessageWriter& TMessageWriter::String(std::string_view utf8) {
    out_.push_back('"');
    out_.append(EscapeJsonString(utf8));
    out_.push_back('"');
    needComma_ = true;
    return *this;
}

TMessageWriter& TMessageWriter::Integer(std::int64_t value) {
    out_.append(std::to_string(value));
    needComma_ = true;
    return *this;
}

}  // namespace wl
