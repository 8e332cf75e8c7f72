#include "app/WLSocketLink.h"

namespace wl {

std::unique_ptr<ISyncClient> MakeWLSocketLink(TWeekleaf&, TSettings&) {
    return nullptr;
}

}  // namespace wl
