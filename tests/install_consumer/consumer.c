/* A C program built against the installed package: glows the file named
 * by its first argument into its second and checks the status. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <QuorbixBMPGlow.h>

/* ASCII paths only: enough for the test. A path character is char16_t, or
 * wchar_t on Windows. */
static QuorbixBMPGlowPathChar* Widen(const char* text) {
  size_t length = strlen(text);
  QuorbixBMPGlowPathChar* wide = malloc((length + 1) * sizeof *wide);
  if (wide == NULL) return NULL;
  for (size_t i = 0; i <= length; ++i) wide[i] = (unsigned char)text[i];
  return wide;
}

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  QuorbixBMPGlowPathChar* input = Widen(argv[1]);
  QuorbixBMPGlowPathChar* output = Widen(argv[2]);
  int32_t status = BMPGlow(input, output);
  free(input);
  free(output);
  return status == QUORBIXBMPGLOW_SUCCESS ? 0 : 1;
}
