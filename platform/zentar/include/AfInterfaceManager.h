/// @file
/// AfInterfaceManager: creates interface implementations by name.
///
/// Implementations are registered with a factory; createInstance calls it.
/// AfInterfaceNameManager lists implementation names per interface name.
/// Both are process-wide and thread-safe.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "EString.h"
#include "IAfInterface.h"
#include "ZentarExport.h"

/// Process-wide factory of interface implementations, by implementation name.
class ZENTAR_EXPORT AfInterfaceManager {
 public:
  /// Makes a new instance, or null.
  using Factory = std::function<IAfInterface*()>;

  /// The process-wide manager, created on first use.
  static AfInterfaceManager* getInstance();

  /// Replaces an earlier registration of the same name.
  void registerImplementation(const EString& name, Factory factory);
  /// Returns whether the name was registered.
  bool unregisterImplementation(const EString& name);

  /// A new instance of the implementation registered as `name`, or null.
  /// `file` and `line` name the caller, for diagnostics.
  IAfInterface* createInstance(const EString& name, const EString& file, int line);

  /// Whether `name` is registered. `loadIfMissing` would load the providing
  /// module on demand and `includeShared` counts shared implementations; this
  /// framework loads nothing and keeps all implementations alike.
  bool isKnown(const EString& name, bool loadIfMissing, bool includeShared) const;

  /// Where the last createInstance came from, for diagnostics.
  EString getLastCaller() const;

 private:
  friend class IAfInterface;  // its implementation name is guarded by m_Mutex
  AfInterfaceManager() = default;
  mutable std::mutex m_Mutex;
  std::map<std::wstring, Factory> m_Factories;
  EString m_LastCaller;
};

/// Process-wide list of implementation names per interface name.
class ZENTAR_EXPORT AfInterfaceNameManager {
 public:
  /// The process-wide manager, created on first use.
  static AfInterfaceNameManager* instance();

  /// Appends `implementationName` under `interfaceName` unless already there.
  void registerInterfaceName(const EString& interfaceName, const EString& implementationName);
  /// Removes `implementationName` from under `interfaceName`; false if it was not there.
  bool unregisterInterfaceName(const EString& interfaceName, const EString& implementationName);

  /// Fills `names` with the implementations of the interface, in registration
  /// order, and returns their count.
  unsigned int getRegisterdInterfaceNames(const EString& interfaceName,
                                          std::vector<EString>& names) const;

 private:
  AfInterfaceNameManager() = default;
  mutable std::mutex m_Mutex;
  std::map<std::wstring, std::vector<EString>> m_Names;
};
