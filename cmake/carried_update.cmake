# The firmware image an executable carries for the module, "Update", with its version word,
# built into the executable's read-only data in one way per platform: on Linux by the
# assembler's .incbin in a source generated for the executable (cmake/carried_update.cpp.in),
# on Windows as the raw-data resources "Update" and "UpdateVersion" (the word as decimal text)
# of the .exe. app/carried_update.h reads them back. Each executable gets its own:
# lirvan-service carries the image given to the build or none at all; the demo and the window
# tests carry the generated placeholder, which only the simulated module ever sees; lirvan-cli
# carries the given image as "Update" and the placeholder as "DemoUpdate" for --demo.

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

# The generated placeholder (a banner saying what it is, then a byte ramp; 248488 bytes,
# version 4.36), written once into the build tree at configure time.
function(lirvan_placeholder_update out_image out_word)
  set(script "${CMAKE_SOURCE_DIR}/cmake/make_placeholder_image.cmake")
  set(image "${CMAKE_BINARY_DIR}/update_placeholder.bin")
  if(NOT EXISTS "${image}" OR "${script}" IS_NEWER_THAN "${image}")
    execute_process(COMMAND ${CMAKE_COMMAND} -DOUTPUT=${image} -DSIZE=248488 -P ${script}
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "the placeholder firmware image could not be generated")
    endif()
  endif()
  lirvan_update_version_word(word "4.36")
  set(${out_image} "${image}" PARENT_SCOPE)
  set(${out_word} ${word} PARENT_SCOPE)
endfunction()

# The image given to the build for lirvan-service, checked, and its version word; both empty
# (with a warning at configure) when none was given.
function(lirvan_given_update out_image out_word)
  set(${out_image} "" PARENT_SCOPE)
  set(${out_word} "" PARENT_SCOPE)
  if(NOT LIRVAN_UPDATE_IMAGE)
    message(WARNING "No firmware image given (LIRVAN_UPDATE_IMAGE): lirvan-service carries none "
                    "and cannot update a module's firmware. Give the image and its version: "
                    "-DLIRVAN_UPDATE_IMAGE=/path/to/firmware.bin -DLIRVAN_UPDATE_VERSION=4.36")
    return()
  endif()
  get_filename_component(image "${LIRVAN_UPDATE_IMAGE}" ABSOLUTE)
  if(NOT EXISTS "${image}" OR IS_DIRECTORY "${image}")
    message(FATAL_ERROR "LIRVAN_UPDATE_IMAGE: no such file: ${image}")
  endif()
  file(SIZE "${image}" size)
  if(size EQUAL 0)
    message(FATAL_ERROR "LIRVAN_UPDATE_IMAGE is empty: ${image}")
  endif()
  if(LIRVAN_UPDATE_VERSION STREQUAL "")
    message(FATAL_ERROR "LIRVAN_UPDATE_IMAGE needs its version: -DLIRVAN_UPDATE_VERSION=<major.minor>, e.g. 4.36")
  endif()
  lirvan_update_version_word(word "${LIRVAN_UPDATE_VERSION}")
  message(STATUS "lirvan-service carries the firmware image ${image} (${size} bytes), "
                 "version ${LIRVAN_UPDATE_VERSION}")
  set(${out_image} "${image}" PARENT_SCOPE)
  set(${out_word} ${word} PARENT_SCOPE)
endfunction()

# lirvan_carry_update(TARGET NAME IMAGE WORD): IMAGE with its version word WORD into TARGET as
# the carried image NAME ("Update" or "DemoUpdate").
function(lirvan_carry_update target name image word)
  if(LIRVAN_PLATFORM STREQUAL "win32")
    # One resource script per executable, holding every image it carries.
    lirvan_carried_rc_lines(lines ${target} ${name} "${image}" ${word})
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}-carried.rc")
    get_target_property(known ${target} LIRVAN_CARRIED_RC)
    if(NOT known)
      file(GENERATE OUTPUT "${rc}" CONTENT "$<JOIN:$<TARGET_PROPERTY:${target},LIRVAN_CARRIED_RC_LINES>,\n>\n")
      set_target_properties(${target} PROPERTIES LIRVAN_CARRIED_RC "${rc}")
      target_sources(${target} PRIVATE "${rc}")
    endif()
    set_property(TARGET ${target} APPEND PROPERTY LIRVAN_CARRIED_RC_LINES "${lines}")
    set_property(SOURCE "${rc}" APPEND PROPERTY OBJECT_DEPENDS "${image}")
  else()
    string(TOLOWER "${name}" symbol)
    string(REGEX REPLACE "([a-z])update" "\\1_update" symbol "${symbol}")
    set(source "${CMAKE_CURRENT_BINARY_DIR}/${target}-${name}.cpp")
    set(LIRVAN_CARRIED_SYMBOL "lirvan_carried_${symbol}")
    set(LIRVAN_CARRIED_IMAGE "${image}")
    set(LIRVAN_CARRIED_WORD "${word}")
    configure_file("${CMAKE_SOURCE_DIR}/cmake/carried_update.cpp.in" "${source}" @ONLY)
    set_source_files_properties("${source}" PROPERTIES OBJECT_DEPENDS "${image}")
    target_sources(${target} PRIVATE "${source}")
  endif()
endfunction()

# The resource lines of the carried image NAME for a Windows .rc file.
function(lirvan_carried_rc_lines out target name image word)
  set(version_file "${CMAKE_CURRENT_BINARY_DIR}/${target}-${name}Version.txt")
  file(CONFIGURE OUTPUT "${version_file}" CONTENT "${word}")
  set(${out} "${name} RCDATA \"${image}\"\n${name}Version RCDATA \"${version_file}\"" PARENT_SCOPE)
endfunction()

# The generated placeholder into TARGET as its "Update" (the demo, the window tests).
function(lirvan_carry_placeholder_update target)
  lirvan_placeholder_update(image word)
  lirvan_carry_update(${target} Update "${image}" ${word})
endfunction()
