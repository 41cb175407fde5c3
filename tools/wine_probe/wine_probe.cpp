// The first program every Wine session runs. It echoes the word it is given together with its own
// pointer width, so the session can tell that Wine really started this build's program (and the
// 32-bit one as 32-bit) before it trusts any test result.
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: corvane-wine-probe WORD\n");
    return 2;
  }
  std::printf("corvane-wine-probe %s %u-bit\n", argv[1], static_cast<unsigned>(sizeof(void*) * 8));
  return 0;
}
