#include "EModule.h"

EModule::~EModule() = default;

void EModule::initTrace() {}
