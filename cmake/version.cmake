# The program's version, kept here alone: the project, the resources, the
# manifest, the update check, the tests and the release's files all take it
# from the header written below. QUILLON_VERSION (four numbers) overrides it
# for a test build. Windows Installer compares the first three fields, the
# update check stores the first three in one byte each below the major.
set(QUILLON_DEFAULT_VERSION 1.7.2.3098)
set(QUILLON_VERSION "" CACHE STRING "The version to build, A.B.C.D; empty for ${QUILLON_DEFAULT_VERSION}")
set(QUILLON_VERSION_NUMBER ${QUILLON_DEFAULT_VERSION})
if(QUILLON_VERSION)
  set(QUILLON_VERSION_NUMBER ${QUILLON_VERSION})
endif()
if(NOT QUILLON_VERSION_NUMBER MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$"
   OR CMAKE_MATCH_1 GREATER 255 OR CMAKE_MATCH_2 GREATER 255 OR CMAKE_MATCH_3 GREATER 255
   OR CMAKE_MATCH_4 GREATER 65535)
  message(FATAL_ERROR "QUILLON_VERSION '${QUILLON_VERSION_NUMBER}' is not A.B.C.D "
                      "(A, B and C at most 255, D at most 65535)")
endif()
set(QUILLON_VERSION_MAJOR ${CMAKE_MATCH_1})
set(QUILLON_VERSION_MINOR ${CMAKE_MATCH_2})
set(QUILLON_VERSION_PATCH ${CMAKE_MATCH_3})
set(QUILLON_VERSION_BUILD ${CMAKE_MATCH_4})

# Included by code of every layer and by the resource scripts.
set(QUILLON_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/quillon_version.h.in ${QUILLON_GENERATED_DIR}/quillon_version.h @ONLY)
