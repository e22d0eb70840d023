# NSPR, the one third-party library: Time::FromString hands its text to
# PR_ParseTimeString. tools/build_nspr.sh keeps it under nspr/ in the build
# tree.
set(KELVO_NSPR_DIR ${CMAKE_BINARY_DIR}/nspr)
kelvo_build_source_package(${PROJECT_SOURCE_DIR}/tools/build_nspr.sh
                           ${KELVO_NSPR_DIR} ${KELVO_TRIPLE})

# Linked statically: _NSPR_BUILD_ keeps the headers from declaring DLL
# imports. The library calls into Winsock, the multimedia timer and advapi32.
add_library(nspr STATIC IMPORTED GLOBAL)
set_target_properties(nspr PROPERTIES
  IMPORTED_LOCATION ${KELVO_NSPR_DIR}/lib/libnspr4_s.a
  INTERFACE_INCLUDE_DIRECTORIES ${KELVO_NSPR_DIR}/include/nspr
  INTERFACE_COMPILE_DEFINITIONS _NSPR_BUILD_
  INTERFACE_LINK_LIBRARIES "ws2_32;winmm;advapi32")
