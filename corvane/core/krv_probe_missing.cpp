// Stands in for the KRV probe in a build without the container library
// (krvreader): KRV recordings are then listed from their names alone, with no
// duration, car number or channel facts. CMake warns when this file is used.
#include "record_probe.h"

namespace corvane {

void ProbeKrv(const std::string&, ProbeFacts*) {}

void ProbeKrvAt(int, const std::string&, const std::string&, ProbeFacts*) {}

}  // namespace corvane
