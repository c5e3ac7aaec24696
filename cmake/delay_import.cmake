# quarvel_delay_import(target dll): an import library whose functions load
# DLL on first call (after the entry has restricted the DLL search path)
# instead of at process start. Made from the toolchain's import library.
function(quarvel_delay_import target dll)
  find_file(QUARVEL_IMPORT_LIBRARY_${dll} lib${dll}.a PATHS /usr/x86_64-w64-mingw32/lib NO_DEFAULT_PATH REQUIRED)
  set(def ${CMAKE_BINARY_DIR}/delay-import/${dll}.def)
  set(library ${CMAKE_BINARY_DIR}/delay-import/lib${dll}_delay.a)
  add_custom_command(OUTPUT ${library}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delay-import
    COMMAND sh -c "{ echo 'LIBRARY ${dll}.dll'; echo EXPORTS; x86_64-w64-mingw32-nm '${QUARVEL_IMPORT_LIBRARY_${dll}}' | awk '$2==\"T\" && $3 !~ /^[.]/ {print $3}' | sort -u; } > '${def}'"
    COMMAND x86_64-w64-mingw32-dlltool -d ${def} -y ${library}
    DEPENDS ${QUARVEL_IMPORT_LIBRARY_${dll}} VERBATIM)
  add_custom_target(${target}_build DEPENDS ${library})
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${library})
  add_dependencies(${target} ${target}_build)
endfunction()
