# The framework bundle in the build tree:
#   Vantrell.framework/Versions/0.5.4/Vantrell   (DT_SONAME "Vantrell")
#   Vantrell.framework/Versions/0.5.4/{Headers,Resources}
#   Vantrell.framework/Versions/0.5.4/Resources/{Info.plist,Scripts/*.scpt}
#   Vantrell.framework/Versions/Current -> 0.5.4
#   Vantrell.framework/{Vantrell,Headers,Resources} -> Versions/Current/...
set(VANTRELL_FRAMEWORK_DIR ${CMAKE_BINARY_DIR}/Vantrell.framework)
set(VANTRELL_VERSION_DIR ${VANTRELL_FRAMEWORK_DIR}/Versions/${PROJECT_VERSION})

function(vantrell_framework target objects)
  add_library(${target} SHARED)
  target_link_libraries(${target} PUBLIC ${objects})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME Vantrell PREFIX "" SUFFIX "" NO_SONAME ON
    LIBRARY_OUTPUT_DIRECTORY ${VANTRELL_VERSION_DIR})
  # -Bsymbolic-functions: a copy loaded next to another (a test's framework
  # copy beside the static library) calls its own functions and keeps its own
  # caches, while a host or test can still replace a function that the layer
  # looks up by name.
  target_link_options(${target} PRIVATE -Wl,-soname,Vantrell -Wl,--no-undefined
    -Wl,-Bsymbolic-functions -Wl,--version-script=${CMAKE_SOURCE_DIR}/cmake/Vantrell.map)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/Vantrell.map)

  file(GLOB public_headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/include/Vantrell/*.h
    ${CMAKE_SOURCE_DIR}/include/Vantrell/*.hpp)
  file(GLOB_RECURSE resource_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/Scripts/*)
  set(info_plist ${CMAKE_BINARY_DIR}/Info.plist)
  configure_file(${CMAKE_SOURCE_DIR}/resources/Info.plist.in ${info_plist} @ONLY)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${info_plist} ${resource_files})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VANTRELL_VERSION_DIR}/Headers ${VANTRELL_VERSION_DIR}/Resources
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${public_headers} ${VANTRELL_VERSION_DIR}/Headers
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${info_plist} ${VANTRELL_VERSION_DIR}/Resources/Info.plist
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/resources/Scripts ${VANTRELL_VERSION_DIR}/Resources/Scripts
    COMMAND ${CMAKE_COMMAND} -E create_symlink ${PROJECT_VERSION} ${VANTRELL_FRAMEWORK_DIR}/Versions/Current
    COMMAND ${CMAKE_COMMAND} -E create_symlink Versions/Current/Vantrell ${VANTRELL_FRAMEWORK_DIR}/Vantrell
    COMMAND ${CMAKE_COMMAND} -E create_symlink Versions/Current/Headers ${VANTRELL_FRAMEWORK_DIR}/Headers
    COMMAND ${CMAKE_COMMAND} -E create_symlink Versions/Current/Resources ${VANTRELL_FRAMEWORK_DIR}/Resources
    VERBATIM)

  include(GNUInstallDirs)
  install(DIRECTORY ${VANTRELL_FRAMEWORK_DIR} DESTINATION ${CMAKE_INSTALL_LIBDIR} USE_SOURCE_PERMISSIONS)
  # Every platform header folder goes along: the API's headers include them.
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/Vantrell ${CMAKE_SOURCE_DIR}/platform/include/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h" PATTERN "*.hpp")
endfunction()

# Executables that link the framework find it in the build tree.
function(vantrell_link_framework target)
  target_link_libraries(${target} PRIVATE Vantrell)
  set_target_properties(${target} PROPERTIES BUILD_RPATH ${VANTRELL_VERSION_DIR})
endfunction()
