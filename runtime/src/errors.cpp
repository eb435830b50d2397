#include "runtime/errors.h"

#include "runtime/text.h"

namespace rt {

std::string EListError::Text(long long index) { return Format("List index out of bounds (%lld)", index); }

EListError::EListError(long long index) : Exception(Text(index)) {}

ERegistryException ERegistryException::InvalidDataType(const std::string& valueName) {
  return ERegistryException(Format("Invalid data type for '%s'", valueName.c_str()));
}

ERegistryException ERegistryException::FailedToSetData(const std::string& valueName) {
  return ERegistryException(Format("Failed to set data for '%s'", valueName.c_str()));
}

EFOpenError::EFOpenError(const std::string& fileName, const std::string& reason)
    : EStreamError(Format("Cannot open file \"%s\". %s", fileName.c_str(), reason.c_str())) {}

EPropertyError EPropertyError::NoSuchProperty(const std::string& className, const std::string& name) {
  return EPropertyError(Format("%s: no such property '%s'", className.c_str(), name.c_str()));
}

}  // namespace rt
