# Authenticode signing of the executables with osslsigncode: with a
# code-signing certificate and its key (PEM files), every executable made by
# quarvel_executable is signed in place as the last step of its build, so the
# signature covers its final bytes. Without them nothing is signed.
set(QUARVEL_SIGN_CERT "" CACHE FILEPATH
  "Code-signing certificate (PEM, optionally followed by its intermediates); with QUARVEL_SIGN_KEY the executables are signed")
set(QUARVEL_SIGN_KEY "" CACHE FILEPATH "Private key of the code-signing certificate (PEM)")
set(QUARVEL_SIGN_TIMESTAMP_URL "" CACHE STRING
  "RFC 3161 time-stamp server that counter-signs the signature (optional)")

if(QUARVEL_SIGN_CERT OR QUARVEL_SIGN_KEY)
  foreach(file QUARVEL_SIGN_CERT QUARVEL_SIGN_KEY)
    if(NOT EXISTS "${${file}}")
      message(FATAL_ERROR "${file} must name an existing PEM file (is \"${${file}}\")")
    endif()
  endforeach()
  find_program(QUARVEL_OSSLSIGNCODE osslsigncode REQUIRED)
endif()

# quarvel_sign_executable(target): signs the target's file after every
# post-build step added before this call; call it last.
function(quarvel_sign_executable target)
  if(NOT QUARVEL_SIGN_CERT)
    return()
  endif()
  set(timestamp)
  if(QUARVEL_SIGN_TIMESTAMP_URL)
    set(timestamp -ts ${QUARVEL_SIGN_TIMESTAMP_URL})
  endif()
  set(file $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E rm -f ${file}.signed
    COMMAND ${QUARVEL_OSSLSIGNCODE} sign -certs ${QUARVEL_SIGN_CERT} -key ${QUARVEL_SIGN_KEY}
            -h sha256 ${timestamp} -in ${file} -out ${file}.signed
    COMMAND ${CMAKE_COMMAND} -E rename ${file}.signed ${file}
    COMMENT "Signing ${target}" VERBATIM)
endfunction()
