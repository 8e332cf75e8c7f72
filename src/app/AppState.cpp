#include "app/AppState.h"

namespace wl {

bool FirstStart = false;
bool BlocksVisible = true;
std::string BlockFontName;
int32_t BlockFontSize = 8;
int32_t BlockAlpha = 125;

}  // namespace wl
