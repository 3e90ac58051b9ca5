# Writes the placeholder firmware image carried when no real firmware file is supplied:
# a plain-text banner that says what it is, then a repeating byte ramp 0x01..0xFF, SIZE bytes
# in all. It is deterministic, so every build carries the same bytes.
#   cmake -DOUTPUT=<file> -DSIZE=<bytes> -P make_placeholder_image.cmake
if(NOT OUTPUT OR NOT SIZE)
  message(FATAL_ERROR "usage: cmake -DOUTPUT=<file> -DSIZE=<bytes> -P make_placeholder_image.cmake")
endif()

set(banner "LIRVAN NC-31 PLACEHOLDER FIRMWARE IMAGE - NOT A REAL FIRMWARE, DO NOT FLASH A REAL MODULE\n")

# The ramp avoids the zero byte, which CMake strings cannot hold.
set(ramp "")
foreach(code RANGE 1 255)
  string(ASCII ${code} ch)
  string(APPEND ramp "${ch}")
endforeach()
string(LENGTH "${banner}" banner_length)
math(EXPR repeats "${SIZE} / 255 + 1")
string(REPEAT "${ramp}" ${repeats} body)
set(image "${banner}${body}")
string(SUBSTRING "${image}" 0 ${SIZE} image)

file(WRITE "${OUTPUT}.tmp" "${image}")
file(SIZE "${OUTPUT}.tmp" written)
if(NOT written EQUAL SIZE)
  message(FATAL_ERROR "placeholder image: wrote ${written} bytes instead of ${SIZE}")
endif()
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
