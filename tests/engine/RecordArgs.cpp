// Stands in for the encryption program in tests: writes its working folder and each of
// its arguments, one per line, to the file named by ORNEL_RECORD_FILE, and exits with the
// code in ORNEL_RECORD_EXIT (0 without it).
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv)
{
    const char* out = std::getenv("ORNEL_RECORD_FILE");
    if (out == nullptr) {
        return 1;
    }
    std::FILE* f = std::fopen(out, "wb");
    if (f == nullptr) {
        return 1;
    }
    char cwd[4096];
    std::fprintf(f, "%s\n", getcwd(cwd, sizeof cwd) != nullptr ? cwd : "?");
    for (int i = 1; i < argc; ++i) {
        std::fprintf(f, "%s\n", argv[i]);
    }
    std::fclose(f);
    const char* code = std::getenv("ORNEL_RECORD_EXIT");
    return code == nullptr ? 0 : std::atoi(code);
}
