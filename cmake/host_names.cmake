# The host lists of a build (QUARVEL_RELEASE_HOST, QUARVEL_PACKAGE_HOST): the
# rules every listed name must meet, checked when the build is configured. A
# list holds one or more names separated by semicolons, in the order the
# installer tries them. Each name is a DNS host name by the rule quarvel-publish
# applies to its --package-host: labels of 1 to 63 ASCII letters, digits and
# "-", neither first nor last "-", joined by "."; 253 bytes at most. So a
# port, a path, user info, a trailing dot or an empty label is refused; the
# transport compares names byte for byte, and a name written that way would
# never be reached. A name may appear once per list (DNS ignores letter case,
# so neither may its other-case spelling).
#
# As a script it only checks a list:
#   cmake -DCHECK=LIST -P host_names.cmake

# quarvel_check_host_name(option name): stops the configuration unless the
# name is a DNS host name.
function(quarvel_check_host_name option name)
  string(LENGTH "${name}" length)
  set(valid TRUE)
  if(length EQUAL 0 OR length GREATER 253)
    set(valid FALSE)
  endif()
  string(REPLACE "." ";" labels "${name}")
  foreach(label IN LISTS labels)
    string(LENGTH "${label}" label_length)
    if(label_length EQUAL 0 OR label_length GREATER 63 OR NOT label MATCHES "^[A-Za-z0-9-]+$"
       OR label MATCHES "^-" OR label MATCHES "-$")
      set(valid FALSE)
    endif()
  endforeach()
  if(NOT valid)
    message(FATAL_ERROR "${option}: \"${name}\" is not a DNS host name (labels of 1 to 63 "
      "letters, digits and \"-\" joined by \".\"; no port, path, user info or trailing dot)")
  endif()
endfunction()

# quarvel_check_host_names(option list): stops the configuration unless the
# list names at least one host, every name passes, and none comes twice.
function(quarvel_check_host_names option list)
  set(seen)
  foreach(name IN LISTS list)
    quarvel_check_host_name(${option} "${name}")
    string(TOLOWER "${name}" folded)
    list(FIND seen "${folded}" earlier)
    if(NOT earlier EQUAL -1)
      message(FATAL_ERROR "${option} names \"${name}\" twice (DNS ignores letter case)")
    endif()
    list(APPEND seen "${folded}")
  endforeach()
  if(NOT seen)
    message(FATAL_ERROR "${option} names no host")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED CHECK)
  quarvel_check_host_names(QUARVEL_PACKAGE_HOST "${CHECK}")
endif()
