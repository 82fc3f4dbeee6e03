// corvane: the desktop program.
#include "ui/app.h"

int main(int argc, char** argv) { return corvane::CCorvaneApp().Run(argc, argv); }
