/// @class IAfInterface
/// Base of every instance the interface manager creates.
///
/// Slot order: destructor, releaseInstance, queryInterfaceName,
/// isSharedInstance. A shared instance belongs to the framework and no holder
/// may delete it; any other instance belongs to whoever created it.
#pragma once

#include "EString.h"
#include "ZentarExport.h"

class ZENTAR_EXPORT IAfInterface {
 public:
  IAfInterface() = default;
  ///@{
  /// Copies the implementation name.
  IAfInterface(const IAfInterface&) = default;
  IAfInterface& operator=(const IAfInterface&) = default;
  ///@}
  virtual ~IAfInterface();

  /// Gives back an instance the caller will not keep: deletes an owned one,
  /// leaves a shared one alone.
  virtual void releaseInstance();
  /// The implementation name this instance was created under.
  virtual void queryInterfaceName(EString& name) const;
  /// Whether the framework owns this instance; base: false.
  virtual bool isSharedInstance() const;

 private:
  friend class AfInterfaceManager;
  EString m_ImplementationName;
};
