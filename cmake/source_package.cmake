# Third-party libraries that Debian ships for Linux only are cross-built from
# Debian's source packages at configure time, once per build tree, by the
# tools/build_*.sh scripts; each returns at once while its result is current.

# Runs `script` with `arguments` and then `out_dir`, the folder that
# receives the library; stops the configure when it fails.
function(kelvo_build_source_package script out_dir)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY
               CMAKE_CONFIGURE_DEPENDS ${script}
               ${PROJECT_SOURCE_DIR}/tools/source_package.sh)
  execute_process(COMMAND bash ${script} ${ARGN} ${out_dir}
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    get_filename_component(name ${script} NAME)
    message(FATAL_ERROR "${name} failed (see the messages above and "
                        "${out_dir}/build.log)")
  endif()
endfunction()
