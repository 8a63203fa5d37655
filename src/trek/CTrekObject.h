#pragma once
// Common base of the persistent trek classes: a run-time class record per class (name as it
// appears in files, schema number, factory) and one Serialize that both reads and writes.
#include <cstdint>
#include <memory>

class CTrekArchive;
class CTrekObject;

/// Run-time class record of a persistent class.
struct STrekClass {
  const char* name;                              ///< class name, also written into files
  std::uint16_t schema;                          ///< schema number written for the class
  std::unique_ptr<CTrekObject> (*factory)();     ///< default-constructed object; null for the base
  const STrekClass* base;                        ///< null for the root
};

class CTrekObject {
 public:
  virtual const STrekClass& GetRuntimeClass() const = 0;
  virtual ~CTrekObject() = default;
  /// Reads or writes the object's data (the archive says which). Errors are recorded in the
  /// archive and end the operation; nothing here throws.
  virtual void Serialize(CTrekArchive& ar) = 0;

  /// The root record every persistent class names as its base.
  static const STrekClass kRuntimeClass;

 protected:
  CTrekObject() = default;
  CTrekObject(const CTrekObject&) = default;
  CTrekObject& operator=(const CTrekObject&) = default;
};
