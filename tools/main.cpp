// parlivo-config: writes configuration payloads and serves them on loopback.
#include <cstdio>

int main(int argc, char** argv) {
    std::fprintf(stderr, "usage: parlivo-config pack|dump|serve ...\n");
    return 2;
}
