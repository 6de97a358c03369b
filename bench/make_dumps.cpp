// Writes a benchmark dump file to standard output, from a fixed seed so every run is the same:
//   worst    100 random dumps: every offset differs
//   typical  3 dumps equal but for 40 offsets spread over both regions
#include <cstdio>
#include <cstring>
#include <random>

int main(int argc, char *argv[]) {
    static unsigned char dumps[100][2048];
    std::mt19937 rng(20261209); // NOLINT(cert-msc32-c,cert-msc51-cpp): the same files every run
    const bool worst = argc > 1 && std::strcmp(argv[1], "worst") == 0;
    const int n = worst ? 100 : 3;
    for (int o = 0; o < 2048; o++)
        dumps[0][o] = static_cast<unsigned char>(rng());
    for (int d = 1; d < n; d++) {
        for (int o = 0; o < 2048; o++)
            dumps[d][o] = worst ? static_cast<unsigned char>(rng()) : dumps[0][o];
    }
    if (worst) {
        for (int o = 0; o < 2048; o++) // make sure no offset happens to agree everywhere
            dumps[1][o] = static_cast<unsigned char>(dumps[0][o] ^ 1);
    } else {
        for (int i = 0; i < 40; i++) {
            const int o = static_cast<int>(rng() % 2048);
            dumps[1 + i % 2][o] = static_cast<unsigned char>(dumps[0][o] + 1 + i);
        }
    }
    return std::fwrite(dumps, 2048, static_cast<std::size_t>(n), stdout) ==
                   static_cast<std::size_t>(n)
               ? 0
               : 1;
}
