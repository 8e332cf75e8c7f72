// weekleaf-restarter: started by the program with "restart" for its periodic restart.
#include <cstdio>
#include <cstring>

#include "platform/Restarter.h"

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "restart") != 0) {
        std::fprintf(stderr, "usage: weekleaf-restarter restart\n");
        return 2;
    }
    return wl::RestartProgram();
}
