# NSPR, the one third-party library: Time::FromString hands its text to
# PR_ParseTimeString. Debian ships NSPR for Linux only, so the configure step
# cross-builds its static library from Debian's source package, once per
# build tree; tools/build_nspr.sh keeps the result under nspr/ in the build
# tree and returns at once while it is current.
set(KELVO_NSPR_DIR ${CMAKE_BINARY_DIR}/nspr)
set(kelvo_nspr_script ${PROJECT_SOURCE_DIR}/tools/build_nspr.sh)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${kelvo_nspr_script})
execute_process(COMMAND bash ${kelvo_nspr_script} ${KELVO_TRIPLE}
                        ${KELVO_NSPR_DIR}
                RESULT_VARIABLE kelvo_nspr_result)
if(NOT kelvo_nspr_result EQUAL 0)
  message(FATAL_ERROR "Building NSPR failed (see the messages above and "
                      "${KELVO_NSPR_DIR}/build.log)")
endif()

# Linked statically: _NSPR_BUILD_ keeps the headers from declaring DLL
# imports. The library calls into Winsock, the multimedia timer and advapi32.
add_library(nspr STATIC IMPORTED GLOBAL)
set_target_properties(nspr PROPERTIES
  IMPORTED_LOCATION ${KELVO_NSPR_DIR}/lib/libnspr4_s.a
  INTERFACE_INCLUDE_DIRECTORIES ${KELVO_NSPR_DIR}/include/nspr
  INTERFACE_COMPILE_DEFINITIONS _NSPR_BUILD_
  INTERFACE_LINK_LIBRARIES "ws2_32;winmm;advapi32")
