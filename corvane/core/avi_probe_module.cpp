// The AVI probe as a loadable module, for programs that load no codec library
// at start (krvtool): avi_probe_loader.cpp opens it at the first AVI file.
#include "record_probe.h"

extern "C" __attribute__((visibility("default"))) void corvane_probe_avi(const char* path,
                                                                         corvane::ProbeFacts* facts) {
  corvane::ProbeAvi(path, facts);
}
