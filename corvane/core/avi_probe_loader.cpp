// ProbeAvi for programs that should start without loading libavformat and
// the hundred-odd libraries behind it (krvtool: listing a folder of KRV
// recordings needs none of them). The probe itself lives in the module
// "corvane-avi-probe.so" beside the program, loaded at the first AVI file and
// kept for the life of the process.
#include <dlfcn.h>

#include <cstdio>
#include <mutex>

#include "record_probe.h"
#include "settings.h"

namespace corvane {

namespace {

using ProbeFunction = void (*)(const char* path, ProbeFacts* facts);

ProbeFunction LoadProbe() {
  const std::string dir = ExecutableDir();
  const std::string module = dir + "corvane-avi-probe.so";
  if (dir.empty()) {
    std::fprintf(stderr, "cannot find the AVI probe: the program's folder is unknown\n");
    return nullptr;
  }
  void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr, "cannot load the AVI probe: %s\n", ::dlerror());
    return nullptr;
  }
  auto probe = reinterpret_cast<ProbeFunction>(::dlsym(handle, "corvane_probe_avi"));
  if (!probe) std::fprintf(stderr, "cannot load the AVI probe: %s has no corvane_probe_avi\n", module.c_str());
  return probe;
}

}  // namespace

void ProbeAvi(const std::string& path, ProbeFacts* facts) {
  // Without the module AVI recordings are listed without probe facts, as
  // files the probe cannot open are; the message above says why, once.
  static std::once_flag once;
  static ProbeFunction probe = nullptr;
  std::call_once(once, [] { probe = LoadProbe(); });
  if (probe) probe(path.c_str(), facts);
}

}  // namespace corvane
