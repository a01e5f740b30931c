/// @class EModule
/// Base of the application's module objects.
#pragma once

#include "EObject.h"
#include "MiltoraExport.h"

class MILTORA_EXPORT EModule : public EObject {
 public:
  ~EModule() override;
  /// Hook for a module to set up its trace states; the base has none.
  virtual void initTrace();
};
