# Includes run one way: the automation ground (variants, conversions, errors, inner calls) sees
# only the public headers and itself; the feature rooms never reach up into the component (the
# object and its catalogue); nothing in the core reaches into the command or the Windows wing.
# Run as: cmake -DSOURCE_DIR=... -P include_direction.cmake
set(rules
    "automation:(admin|cli|component|config|extract|fetch|groupbuy|host|portal|util|windows)/"
    "admin|config|extract|fetch|groupbuy|host|portal|util:(component|cli|windows)/"
    "component:(cli|windows)/")
set(failures 0)
foreach(rule IN LISTS rules)
  string(REPLACE ":" ";" parts "${rule}")
  list(GET parts 0 rooms)
  list(GET parts 1 forbidden)
  string(REPLACE "|" ";" rooms "${rooms}")
  foreach(room IN LISTS rooms)
    file(GLOB sources "${SOURCE_DIR}/src/${room}/*.cpp" "${SOURCE_DIR}/src/${room}/*.h")
    foreach(source IN LISTS sources)
      file(STRINGS "${source}" lines REGEX "^#include \"${forbidden}")
      foreach(line IN LISTS lines)
        message(SEND_ERROR "${source}: ${line} reaches up from src/${room}")
        math(EXPR failures "${failures} + 1")
      endforeach()
    endforeach()
  endforeach()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} include(s) against the direction")
endif()
