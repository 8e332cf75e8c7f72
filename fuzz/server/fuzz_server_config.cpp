// Hostile config file text: every input ends in options or in an error that names the file and a
// line, never in a crash or a limit left outside what the command line would accept.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "TServerOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    wl::TServerOptions options;
    const std::string error = wl::ApplyServerConfigText(text, "f.conf", options);
    if (!error.empty() && error.rfind("f.conf:", 0) != 0) std::abort();
    if (error.empty() &&
        (options.MaxMessageBytes == 0 || options.MaxQueueBytes == 0 || options.DbPath.empty()))
        std::abort();
    return 0;
}
