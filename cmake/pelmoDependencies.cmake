# What the library links, each dependency once, as
#   "package|find_package arguments|targets|pkg-config modules".
# "pkg-config" as the arguments means the package has no CMake package on Debian: its modules are
# found through pkg-config and give the target PkgConfig::<package>.
# The build, the installed pelmoConfig.cmake and pelmo.pc all read this list, so adding or
# dropping a dependency is one line here.
set(PELMO_DEPENDENCIES
    "CURL||CURL::libcurl|libcurl"
    "ICU|COMPONENTS uc i18n|ICU::uc ICU::i18n|icu-uc icu-i18n")

# Finds every dependency with `how`: find_package in the build (each one required), or
# find_dependency in pelmoConfig.cmake, where a missing one makes pelmo itself not found. A macro,
# so that find_dependency's return() leaves the config file. Sets PELMO_DEPENDENCY_TARGETS and
# PELMO_PKG_CONFIG_REQUIRES (the modules for pelmo.pc).
macro(pelmo_find_dependencies how)
  set(PELMO_DEPENDENCY_TARGETS "")
  set(PELMO_PKG_CONFIG_REQUIRES "")
  foreach(_pelmo_dependency IN LISTS PELMO_DEPENDENCIES)
    string(REPLACE "|" ";" _pelmo_fields "${_pelmo_dependency}")
    list(GET _pelmo_fields 0 _pelmo_package)
    list(GET _pelmo_fields 1 _pelmo_arguments)
    list(GET _pelmo_fields 2 _pelmo_targets)
    list(GET _pelmo_fields 3 _pelmo_modules)
    separate_arguments(_pelmo_arguments UNIX_COMMAND "${_pelmo_arguments}")
    separate_arguments(_pelmo_targets UNIX_COMMAND "${_pelmo_targets}")
    if(_pelmo_arguments STREQUAL "pkg-config")
      separate_arguments(_pelmo_module_list UNIX_COMMAND "${_pelmo_modules}")
      if("${how}" STREQUAL "find_dependency")
        find_dependency(PkgConfig)
        pkg_check_modules(${_pelmo_package} QUIET IMPORTED_TARGET ${_pelmo_module_list})
        if(NOT ${_pelmo_package}_FOUND)
          set(${CMAKE_FIND_PACKAGE_NAME}_NOT_FOUND_MESSAGE
              "pkg-config found no ${_pelmo_modules}: install its development package")
          set(${CMAKE_FIND_PACKAGE_NAME}_FOUND FALSE)
          return()
        endif()
      else()
        find_package(PkgConfig REQUIRED)
        pkg_check_modules(${_pelmo_package} REQUIRED IMPORTED_TARGET ${_pelmo_module_list})
      endif()
    elseif("${how}" STREQUAL "find_dependency")
      find_dependency(${_pelmo_package} ${_pelmo_arguments})
    else()
      find_package(${_pelmo_package} REQUIRED ${_pelmo_arguments})
    endif()
    list(APPEND PELMO_DEPENDENCY_TARGETS ${_pelmo_targets})
    string(STRIP "${PELMO_PKG_CONFIG_REQUIRES} ${_pelmo_modules}" PELMO_PKG_CONFIG_REQUIRES)
  endforeach()
endmacro()
