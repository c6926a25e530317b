#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("ornel_ftp %s\n", ORNEL_VERSION);
            return 0;
        }
    }
    std::printf("usage: ornel_ftp [options]\n");
    return 0;
}
