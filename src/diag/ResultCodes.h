#pragma once
// Texts of the sync service's result codes (the "STATUS" of its answers).
#include <string>

namespace wl {

enum ResultCode : int {
    ER_SUCCESS = 0,
    ER_VARIABLE = 1,
    ER_TOKEN = 2,
    ER_KEY = 3,
    ER_REQUEST = 4,
    ER_GET = 5,
    ER_UPDATE = 6,
    ER_SELECT = 7,
};

std::string ResultCodeText(int code);

}  // namespace wl
