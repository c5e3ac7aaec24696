# cmake -DFILE=path -DLIMIT=bytes -P print_size.cmake
# Prints the file's size beside the limit, with a warning line when it is over,
# so a change that grows the executable shows in the build output.
file(SIZE "${FILE}" size)
get_filename_component(folder "${FILE}" DIRECTORY)
get_filename_component(folder "${folder}" NAME)
get_filename_component(name "${FILE}" NAME)
set(verdict "within the limit of ${LIMIT}")
if(size GREATER LIMIT)
  set(verdict "OVER the limit of ${LIMIT}")
endif()
message("${folder}/${name}: ${size} bytes, ${verdict}")
