/// @file
/// AfModule: a module of the application framework.
///
/// Constructing one makes it known to the framework; AfFramework::startUp and
/// shutDown then call its hooks. Modules are kept in construction order.
#pragma once

#include <vector>

#include "EModule.h"
#include "EString.h"
#include "ZentarExport.h"

/// A module of the application framework, with its start-up and shut-down hooks.
class ZENTAR_EXPORT AfModule : public EModule {
 public:
  /// `name` identifies the module; `optional` marks a module whose failing
  /// start-up does not stop the framework; `loadOrder` sorts start-up
  /// (ascending; equal orders keep construction order).
  AfModule(const wchar_t* name, bool optional, double loadOrder);
  AfModule(const AfModule&) = delete;
  AfModule& operator=(const AfModule&) = delete;
  ~AfModule() override;

  ///@{
  /// Start-up hooks, called by AfFramework::startUp; false reports a failed
  /// start. Base: true.
  virtual bool init();
  virtual bool initGui();
  ///@}
  ///@{
  /// Shut-down hooks, called by AfFramework::shutDown. Base: true.
  virtual bool preExit();
  virtual bool exit();
  ///@}
  /// The text of the module's error `code`; base: `"<name>: error <code>"`.
  virtual void getErrorString(unsigned int code, EString& text) const;
  /// Idle hook, for applications that drive one; the framework never calls
  /// it. Base: nothing.
  virtual void onIdle();
  /// Settings hook, for applications that drive one; the framework never
  /// calls it. Base: nothing.
  virtual void onSettingsChanged();

  ///@{
  /// The constructor's arguments.
  const EString& getModuleName() const { return m_Name; }
  bool isOptional() const { return m_bOptional; }
  double getLoadOrder() const { return m_LoadOrder; }
  ///@}

 private:
  EString m_Name;
  bool m_bOptional;
  double m_LoadOrder;
};

/// Starts and stops the known modules.
class ZENTAR_EXPORT AfFramework {
 public:
  /// Calls init, then initGui, on every known module in load order. Returns
  /// false if a module that is not optional failed; the rest still start.
  static bool startUp();
  /// Calls preExit, then exit, on every known module in reverse load order.
  static bool shutDown();
  /// Modules currently known, in load order.
  static std::vector<AfModule*> knownModules();
  /// The known module named `name`, or null.
  static AfModule* findModule(const EString& name);
};
