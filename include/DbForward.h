/// @file
/// Outside types that Tarvex only passes by pointer or reference.
#pragma once

class DMMemberBase;
class DMSimpleData;
class IEStreamableObject;
class DbDataSchemaMap;
class EContext;

class DbData;
class DbDataList;
class DbMetaBase;
