#include "PayloadExtraction.h"

#include <stdio.h>
#include <stdlib.h>

WideBuffer<4096> TargetDirectory;
WideBuffer<1024> ChildExecutablePath;

void openPayloadStream(const uint8_t* compressed, uint64_t length) {
  (void)compressed;
  (void)length;
}

void extractPayload() {
  fputs("onefile: extraction is not built yet\n", stderr);
  exit(4);
}
