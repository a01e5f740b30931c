#include "DbDataModel2DataBaseTypeMap.h"

#include "Reporting.h"

namespace {

// Where this file's reports come from.
constexpr tarvex::internal::ReportSite kAddTypeOutOfTable{
    tarvex::internal::files::kDbDataModel2DataBaseTypeMap, 40};

}  // namespace

std::vector<char>* DbDataModel2DataBaseTypeMap::s_pInstance = nullptr;

std::vector<char>* DbDataModel2DataBaseTypeMap::getInstance() {
  if (s_pInstance == nullptr) {
    s_pInstance = new std::vector<char>(kTableSize, kUndefinedDatabaseType);
  }
  return s_pInstance;
}

void DbDataModel2DataBaseTypeMap::init() {}

void DbDataModel2DataBaseTypeMap::deinit() {
  delete s_pInstance;
  s_pInstance = nullptr;
}

void DbDataModel2DataBaseTypeMap::addDataModelType(unsigned char dataModelType, char databaseType) {
  if (dataModelType >= kTableSize) {
    // The table has no entry for it; writing one would go past its end.
    tarvex::internal::reportAssert(tarvex::internal::texts::kDataModelTypeTooLarge,
                                   kAddTypeOutOfTable);
    return;
  }
  (*getInstance())[dataModelType] = databaseType;
}
