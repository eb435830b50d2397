// The runtime's error types. Every error carries the text that the user or the caller sees.
#pragma once

#include <stdexcept>
#include <string>

namespace rt {

class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

class ERangeError : public Exception {
 public:
  ERangeError() : Exception("Range check error") {}
  explicit ERangeError(const std::string& message) : Exception(message) {}
};

class EOverflowError : public Exception {
 public:
  EOverflowError() : Exception("Arithmetic overflow") {}
  explicit EOverflowError(const std::string& message) : Exception(message) {}
};

class EListError : public Exception {
 public:
  explicit EListError(long long index);
  static std::string Text(long long index);
};

class EConvertError : public Exception {
 public:
  explicit EConvertError(const std::string& message) : Exception(message) {}
};

// Raised by the registry layer of the profile store.
class ERegistryException : public Exception {
 public:
  explicit ERegistryException(const std::string& message) : Exception(message) {}
  static ERegistryException InvalidDataType(const std::string& valueName);
  static ERegistryException FailedToSetData(const std::string& valueName);
};

class EStreamError : public Exception {
 public:
  explicit EStreamError(const std::string& message) : Exception(message) {}
};

class EReadError : public EStreamError {
 public:
  EReadError() : EStreamError("Stream read error") {}
  explicit EReadError(const std::string& message) : EStreamError(message) {}
};

class EWriteError : public EStreamError {
 public:
  EWriteError() : EStreamError("Stream write error") {}
  explicit EWriteError(const std::string& message) : EStreamError(message) {}
};

class EFOpenError : public EStreamError {
 public:
  EFOpenError(const std::string& fileName, const std::string& reason);
};

// A property asked for by name that the component does not publish, or a text that
// does not convert to the property's type.
class EPropertyError : public Exception {
 public:
  explicit EPropertyError(const std::string& message) : Exception(message) {}
  static EPropertyError NoSuchProperty(const std::string& className, const std::string& name);
};

class EComponentError : public Exception {
 public:
  explicit EComponentError(const std::string& message) : Exception(message) {}
};

}  // namespace rt
