#include "StatisticNames.h"

#include "StatisticTraits.h"

const char* StatisticName(int code) {
  if (code < 0 || code >= TableEncryptionCodes::kNumberOfStatistics) return nullptr;
  return TraitsOf(code).name;
}

int StatisticCode(const std::string& name) {
  for (int code = 0; code < TableEncryptionCodes::kNumberOfStatistics; ++code)
    if (name == TraitsOf(code).name) return code;
  return -1;
}
