# velmora_add_translations(<target>)
# Compiles resources/translations/*.ts with lrelease into the .pm files the
# program loads from "translations" beside its executable, for a target whose
# executable lands in the current binary folder (the viewer, window tests).
set(VELMORA_LANGUAGES ch en jp)

function(velmora_add_translations target)
  set(folder "${CMAKE_CURRENT_BINARY_DIR}/translations")
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
