#include <cstdio>

int main() {
  std::puts("mdbtool: not yet");
  return 0;
}
