# Includes run one way: the automation ground (variants, conversions, errors, inner calls) sees
# only the public headers and itself; the feature rooms never reach up into the component (the
# object and its catalogue); nothing in the core reaches into the command or the Windows wing.
# Run as: cmake -DSOURCE_DIR=... -P include_direction.cmake (each include against it is an error).
function(forbid rooms forbidden)
  foreach(room IN LISTS rooms)
    file(GLOB sources "${SOURCE_DIR}/src/${room}/*.cpp" "${SOURCE_DIR}/src/${room}/*.h")
    foreach(source IN LISTS sources)
      file(STRINGS "${source}" lines REGEX "^#include \"(${forbidden})/")
      foreach(line IN LISTS lines)
        message(SEND_ERROR "${source}: ${line} reaches up from src/${room}")
      endforeach()
    endforeach()
  endforeach()
endfunction()

forbid(automation 
       "admin|cli|component|config|events|extract|fetch|groupbuy|host|portal|util|windows")
forbid("admin;config;events;extract;fetch;groupbuy;host;portal;util" "component|cli|windows")
# The events stand on the hosts' interfaces and the settings; the hosts and settings never
# reach up into them.
forbid("config;host;util" "events")
forbid(component "cli|windows")
# The command's portable parts are built for pelmo.exe too, so they stay clear of the Windows
# wing; in the wing, the command face sits on top and the base, hosts, page and server below it
# never include it.
forbid(cli "windows")
forbid("windows/base;windows/hosts;windows/page;windows/server" "windows/command|cli")
forbid(events "admin|extract|fetch|groupbuy|portal")
