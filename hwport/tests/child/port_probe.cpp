// A program of its own for the port's bench choice, made once per process:
// writes the port's load error into the file named first and ends with 1
// when the bench is active, 0 when not.
#include <windows.h>

#include <cstdio>

#include "hwport/port.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  int active = hwport::BenchActive() ? 1 : 0;
  FILE* f = std::fopen(argv[1], "wb");
  if (!f) return 2;
  std::fputs(hwport::BenchLoadError(), f);
  std::fclose(f);
  return active;
}
