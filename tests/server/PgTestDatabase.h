#pragma once
// The tests' PostgreSQL cluster as a whole (its superuser URI) and a connection to it.
#include <string>

#include "PgConnection.h"
#include "TestStorage.h"

namespace wl::test {

inline std::string PgTestUri() {
    return PgClusterFile("uri");
}

}  // namespace wl::test
