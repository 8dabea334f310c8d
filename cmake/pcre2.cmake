# PCRE2 10.42 from Debian's sources (scripts/fetch_pcre2.sh puts them in
# build-deps/): the 16-bit library alone, static, with JIT. Included by the
# Windows build and by the native fuzz build; defines pcre2-16-static.
set(QUILLON_PCRE2_SOURCE ${CMAKE_CURRENT_LIST_DIR}/../build-deps/pcre2-10.42)
if(NOT EXISTS ${QUILLON_PCRE2_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "PCRE2 sources missing in build-deps/: run scripts/fetch_pcre2.sh")
endif()
# Cache entries forced: its options are read from the cache.
foreach(setting BUILD_STATIC_LIBS PCRE2_BUILD_PCRE2_16 PCRE2_SUPPORT_JIT PCRE2_SUPPORT_UNICODE)
  set(${setting} ON CACHE BOOL "" FORCE)
endforeach()
foreach(setting BUILD_SHARED_LIBS PCRE2_BUILD_PCRE2_8 PCRE2_BUILD_PCRE2_32 PCRE2_BUILD_PCRE2GREP
        PCRE2_BUILD_TESTS PCRE2_SHOW_REPORT PCRE2_SUPPORT_LIBBZ2 PCRE2_SUPPORT_LIBZ
        PCRE2_SUPPORT_LIBREADLINE PCRE2_SUPPORT_LIBEDIT)
  set(${setting} OFF CACHE BOOL "" FORCE)
endforeach()
add_subdirectory(${QUILLON_PCRE2_SOURCE} ${CMAKE_BINARY_DIR}/pcre2 EXCLUDE_FROM_ALL)
