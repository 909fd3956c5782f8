#include <cstdio>

int main() {
  std::fprintf(stderr, "quorvel-sim\n");
  return 2;
}
