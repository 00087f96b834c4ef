# PCRE2, the regular-expression engine of the folder rules, as the target
# pv_pcre2. Linux: the system's (Debian's libpcre2-dev). Windows: Debian's
# source package compiled with the cross toolchain, fetched once and cached
# under build/ by scripts/fetch-pcre2-source.sh.
add_library(pv_pcre2 INTERFACE)
if(WIN32)
  set(PV_PCRE2_SOURCE "" CACHE PATH "the unpacked PCRE2 source (fetched when empty)")
  if(NOT PV_PCRE2_SOURCE)
    execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/fetch-pcre2-source.sh
                    OUTPUT_VARIABLE fetched OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE fetch_status)
    if(NOT fetch_status EQUAL 0)
      message(FATAL_ERROR "PCRE2 source could not be fetched")
    endif()
    set(PV_PCRE2_SOURCE ${fetched} CACHE PATH "the unpacked PCRE2 source (fetched when empty)" FORCE)
  endif()
  set(BUILD_SHARED_LIBS OFF CACHE BOOL "" FORCE)
  set(BUILD_STATIC_LIBS ON CACHE BOOL "" FORCE)
  set(PCRE2_BUILD_PCRE2_8 ON CACHE BOOL "" FORCE)
  set(PCRE2_BUILD_PCRE2GREP OFF CACHE BOOL "" FORCE)
  set(PCRE2_BUILD_TESTS OFF CACHE BOOL "" FORCE)
  set(PCRE2_SUPPORT_JIT OFF CACHE BOOL "" FORCE)
  add_subdirectory(${PV_PCRE2_SOURCE} ${CMAKE_BINARY_DIR}/pcre2 EXCLUDE_FROM_ALL SYSTEM)
  target_link_libraries(pv_pcre2 INTERFACE pcre2-8-static)
else()
  find_path(PV_PCRE2_INCLUDE pcre2.h REQUIRED)
  find_library(PV_PCRE2_LIBRARY pcre2-8 REQUIRED)
  target_include_directories(pv_pcre2 INTERFACE ${PV_PCRE2_INCLUDE})
  target_link_libraries(pv_pcre2 INTERFACE ${PV_PCRE2_LIBRARY})
endif()
