# velmora_add_translations(<target> [<executable folder>])
# Compiles resources/translations/*.ts with lrelease into the .pm files the
# program loads from "translations" beside its executable; the executable
# lands in the current binary folder unless another is named.
set(VELMORA_LANGUAGES ch en jp)

function(velmora_add_translations target)
  set(folder "${CMAKE_CURRENT_BINARY_DIR}/translations")
  if(ARGC GREATER 1)
    set(folder "${ARGV1}/translations")
  endif()
  set(compiled "")
  foreach(language ${VELMORA_LANGUAGES})
    set(source "${CMAKE_SOURCE_DIR}/resources/translations/${language}.ts")
    set(output "${folder}/${language}.pm")
    add_custom_command(OUTPUT "${output}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${folder}"
      COMMAND Qt5::lrelease -silent "${source}" -qm "${output}"
      DEPENDS "${source}" Qt5::lrelease
      VERBATIM)
    list(APPEND compiled "${output}")
  endforeach()
  add_custom_target(${target}_translations DEPENDS ${compiled})
  add_dependencies(${target} ${target}_translations)
endfunction()
