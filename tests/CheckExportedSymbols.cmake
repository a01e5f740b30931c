# Fails when the library exports anything but its own classes' symbols, or
# misses one it must export: the names its interface promises, and every
# inline member of its exported classes (an exported class exports all its
# members, as on Windows).
# Usage: cmake -DLIBRARY=<libTarvex.so> -DHEADERS=<public headers, comma-separated>
#              [-DINLINES=<object file with every inline member kept>]
#              -P CheckExportedSymbols.cmake

function(defined_symbols file options out)
  execute_process(COMMAND nm ${options} --defined-only -C ${file}
                  OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "nm failed on ${file}")
  endif()
  string(REPLACE ";" "\\;" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(names "")
  foreach(line IN LISTS lines)
    # "<address> <kind> <name>"; the name may contain blanks.
    if(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) (.*)$")
      list(APPEND names "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
    endif()
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# The exported classes, as their headers declare them.
string(REPLACE "," ";" HEADERS "${HEADERS}")
set(classes "")
foreach(header IN LISTS HEADERS)
  file(STRINGS ${header} declarations REGEX "^(class|struct) TARVEX_EXPORT [A-Za-z0-9_]+")
  foreach(declaration IN LISTS declarations)
    string(REGEX REPLACE "^(class|struct) TARVEX_EXPORT ([A-Za-z0-9_]+).*" "\\2" class "${declaration}")
    list(APPEND classes ${class})
  endforeach()
endforeach()
list(LENGTH classes class_count)
if(class_count LESS 10)
  message(FATAL_ERROR "found only ${class_count} exported classes in the headers")
endif()
list(JOIN classes "|" alternatives)
# Beyond the classes, the allocation and release hooks and the slot storage.
set(allocation_hook "tarvex::internal::setAllocationHook(void (*)(tarvex::internal::AllocationKind, unsigned long))")
set(release_hook "tarvex::internal::setReleaseHook(void (*)())")
set(own "^[A-Za-z] (((typeinfo|typeinfo name|vtable) for )?(${alternatives})(::|$)|tarvex::internal::(set(Allocation|Release)Hook|allocateSlotStorage|allocateSlotSegment|freeSlotStorage)\(.*\)$)")

defined_symbols(${LIBRARY} -D exported)
set(stray "")
set(count 0)
foreach(symbol IN LISTS exported)
  math(EXPR count "${count} + 1")
  if(NOT symbol MATCHES "${own}")
    string(APPEND stray "  ${symbol}\n")
  endif()
endforeach()
if(NOT stray STREQUAL "")
  message(FATAL_ERROR "symbols exported beyond the library's own classes:\n${stray}")
endif()

# Names the interface promises by name (exact spelling, "Datat" included).
set(required
  "DbData::init()"
  "DbData::deinit()"
  "DbData::getSortId(unsigned short)"
  "DbData::isBackPackedDatatId(unsigned short)"
  "DbData::insertBackPackedDatatId(unsigned short, bool)"
  "DbData::isLastEntryDataId(unsigned short)"
  "DbData::setLastEntryDataId(unsigned short)"
  "DbDataModel2DataBaseTypeMap::init()"
  "DbDataModel2DataBaseTypeMap::deinit()"
  "DbDataModel2DataBaseTypeMap::addDataModelType(unsigned char, char)"
  "DbDataModel2DataBaseTypeMap::getDatabaseType(unsigned char)"
  "DbDataId2DataMap::getData(unsigned short) const"
  "DbMetaBase::sm_MapDataIdToPackedDataId"
  "DbMetaBase::sm_LastUsedPackedDataId"
  "DbMetaManager::s_pInstance"
  "DbMetaManager::getInstance()"
  "DbMetaManager::deinit()"
  "IDbDataSchema::sm_pInstance"
  "IDbDataSchema::getSmallInstance()"
  "IDbUnknownObjectMeta::IDbUnknownObjectMeta()"
  "IDbUnknownObjectMeta::IDbUnknownObjectMeta(IDbUnknownObjectMeta const&)"
  "IDbUnknownObjectMeta::~IDbUnknownObjectMeta()"
  "IDbUnknownObjectMeta::operator=(IDbUnknownObjectMeta const&)"
  "${allocation_hook}"
  "${release_hook}")

# Every inline member of the exported classes, as a compiler that keeps all
# inline functions emits them.
if(INLINES)
  defined_symbols(${INLINES} "" kept)
  foreach(symbol IN LISTS kept)
    if(symbol MATCHES "^W ((${alternatives})::.*)$")
      list(APPEND required "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endif()
list(REMOVE_DUPLICATES required)

list(TRANSFORM exported REPLACE "^[A-Za-z] " "")
set(missing "")
foreach(class IN LISTS classes)
  set(members "${exported}")
  list(FILTER members INCLUDE REGEX "^${class}::")
  if(NOT members)
    string(APPEND missing "  every member of ${class}\n")
  endif()
endforeach()
foreach(name IN LISTS required)
  list(FIND exported "${name}" index)
  if(index EQUAL -1)
    string(APPEND missing "  ${name}\n")
  endif()
endforeach()
if(NOT missing STREQUAL "")
  message(FATAL_ERROR "the library does not export:\n${missing}")
endif()
list(LENGTH required required_count)
message(STATUS "${count} exported symbols, all of the library's own ${class_count} classes; "
               "the ${required_count} required names among them")
