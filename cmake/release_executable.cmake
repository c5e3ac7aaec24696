# How the shipped executable is built: small, stripped and reproducible.
#
# quarvel_release_compile_options(): for every object of the Windows build,
#   so the unit tests run the same code as the executable: optimised for size,
#   one section per function and per datum (so the linker can drop the unused
#   ones), and no build folder in the objects (__FILE__ and the like name the
#   source tree as "." and the build tree as "build").
# quarvel_release_executable(target): the executable's link: unused sections
#   collected, symbols and debug sections stripped, no time stamp in the PE
#   header, std::terminate without the runtime's verbose handler; after each
#   link the build prints the executable's size against the limit. Steps that
#   must see the final file (signing) come after it.

# The most the executable may weigh, in bytes (500 KiB).
set(QUARVEL_EXECUTABLE_SIZE_LIMIT 512000)

macro(quarvel_release_compile_options)
  # A later -O wins, so -Os holds whatever the build type's flags say.
  add_compile_options(-Os -ffunction-sections -fdata-sections
    -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
endmacro()

function(quarvel_release_executable target)
  # The runtime libraries come with debug sections: -s drops them with the
  # symbols. windres leaves the resource time stamp at 0 by itself.
  # The runtime's default terminate handler prints the demangled name of an
  # uncaught exception to standard error, which a GUI program does not have,
  # and brings in a 45 KB demangler for it; abort() alone ends the process the
  # same way. (Nothing here is meant to throw: errors travel as values.)
  target_link_options(${target} PRIVATE -s -Wl,--gc-sections -Wl,--no-insert-timestamp
    -Wl,--defsym,_ZN9__gnu_cxx27__verbose_terminate_handlerEv=abort)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:${target}>
      -DLIMIT=${QUARVEL_EXECUTABLE_SIZE_LIMIT} -P ${CMAKE_SOURCE_DIR}/cmake/print_size.cmake
    VERBATIM)
endfunction()
