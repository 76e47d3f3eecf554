// skinc: compiles a skin description into a binary skin file.
//   skinc DESCRIPTION.txt OUTPUT.skin

#include <cstdio>
#include "skin_compiler.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: skinc DESCRIPTION OUTPUT\n");
        return 2;
    }
    std::string error;
    if (!compile_skin_file(argv[1], argv[2], error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
