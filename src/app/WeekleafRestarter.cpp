// weekleaf-restarter: started by the program with "restart" for its periodic restart; the
// arguments after "restart" go to the new instance.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Restarter.h"

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "restart") != 0) {
        std::fprintf(stderr, "usage: weekleaf-restarter restart [argument for weekleaf...]\n");
        return 2;
    }
    return wl::RestartProgram(std::vector<std::string>(argv + 2, argv + argc));
}
