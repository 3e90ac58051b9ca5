# The firmware image an executable carries for the module: the read-only resource "Update",
# and beside it the resource "UpdateVersion", its version word as decimal text. Each executable
# gets its own: lirvan-service carries the image given to the build or none at all; the demo
# and the window tests carry a generated placeholder that only the simulated module ever sees.

set(LIRVAN_UPDATE_IMAGE "" CACHE FILEPATH
    "Firmware image of the module carried by lirvan-service (empty: none, and the tool cannot update a module)")
set(LIRVAN_UPDATE_VERSION "" CACHE STRING
    "Version of LIRVAN_UPDATE_IMAGE as major.minor with two minor digits (4.36); required with an image")

# The version word of a version text, in the layout the module reports: major in bits 16-19,
# the two minor digits in bits 12-15 and 8-11 (4.36 is 0x00043600 = 276992).
function(lirvan_update_version_word out version)
  if(NOT version MATCHES "^([0-9]|1[0-5])\\.([0-9])([0-9])$")
    message(FATAL_ERROR "LIRVAN_UPDATE_VERSION must read like 4.36 (major 0..15, two minor digits); "
                        "got '${version}'")
  endif()
  math(EXPR word "(${CMAKE_MATCH_1} << 16) | (${CMAKE_MATCH_2} << 12) | (${CMAKE_MATCH_3} << 8)")
  set(${out} ${word} PARENT_SCOPE)
endfunction()

# Builds `image` with its version word into `target`, uncompressed, so that the tool streams it
# straight from the read-only resource.
function(lirvan_carry_update target image version_word)
  set(version_file "${CMAKE_CURRENT_BINARY_DIR}/${target}-UpdateVersion.txt")
  file(CONFIGURE OUTPUT "${version_file}" CONTENT "${version_word}")
  set_source_files_properties("${image}" PROPERTIES QT_RESOURCE_ALIAS Update)
  set_source_files_properties("${version_file}" PROPERTIES QT_RESOURCE_ALIAS UpdateVersion)
  qt_add_resources(${target} ${target}_update
    PREFIX "/"
    FILES "${image}" "${version_file}"
    OPTIONS --no-compress)
endfunction()

# The generated placeholder (a banner saying what it is, then a byte ramp; 248488 bytes,
# version 4.36), written once into the build tree at configure time.
function(lirvan_carry_placeholder_update target)
  set(script "${CMAKE_SOURCE_DIR}/app/qt/make_placeholder_image.cmake")
  set(image "${CMAKE_BINARY_DIR}/update_placeholder.bin")
  if(NOT EXISTS "${image}" OR "${script}" IS_NEWER_THAN "${image}")
    execute_process(COMMAND ${CMAKE_COMMAND} -DOUTPUT=${image} -DSIZE=248488 -P ${script}
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "the placeholder firmware image could not be generated")
    endif()
  endif()
  lirvan_update_version_word(word "4.36")
  lirvan_carry_update(${target} "${image}" ${word})
endfunction()
