// Prints the version the program is built against, then glows sample.bmp in
// the working directory into glowed.bmp with the library built beside it.
#include <cstdio>

#include <QuorbixBMPGlow.h>

int main() {
  std::printf("%s\n", QUORBIXBMPGLOW_VERSION_STRING);
  return BMPGlow(u"sample.bmp", u"glowed.bmp") == QUORBIXBMPGLOW_SUCCESS ? 0 : 1;
}
