# The header-only libraries of a cross build, taken from the build machine's /usr/include: each
# is linked into a folder of its own, so the rest of the Linux include tree stays out of reach.
set(MIGWIZ_HOST_INCLUDE /usr/include CACHE PATH "Where the header-only libraries are installed")
set(_cross_include ${CMAKE_BINARY_DIR}/cross-include)
file(MAKE_DIRECTORY ${_cross_include})
foreach(dir nlohmann CLI dtl)
  if(NOT EXISTS ${MIGWIZ_HOST_INCLUDE}/${dir})
    message(FATAL_ERROR "${MIGWIZ_HOST_INCLUDE}/${dir} is missing (Debian packages "
                        "nlohmann-json3-dev, libcli11-dev, libdtl-dev)")
  endif()
  file(CREATE_LINK ${MIGWIZ_HOST_INCLUDE}/${dir} ${_cross_include}/${dir} SYMBOLIC)
endforeach()

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${_cross_include})
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${_cross_include})
set(DTL_INCLUDE_DIR ${_cross_include} CACHE PATH "" FORCE)

# GoogleTest from the sources Debian ships, built with this compiler.
set(MIGWIZ_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(MIGWIZ_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${MIGWIZ_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
