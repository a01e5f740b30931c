#include "DbDTString.h"

DbDTString::~DbDTString() = default;
