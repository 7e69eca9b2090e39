# The build step of the layer check (cmake/CheckLayers.cmake, table in cmake/Layers.cmake):
# it runs again whenever a file of a checked folder changes, and every library of a checked
# folder waits for it, so a backwards #include fails the build before anything compiles.
include(${CMAKE_CURRENT_LIST_DIR}/Layers.cmake)

set(rv_layer_files "")
foreach(row IN LISTS RV_LAYERS)
  string(REGEX REPLACE ":.*" "" unit "${row}")
  file(GLOB_RECURSE found CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/${unit}/*.h ${PROJECT_SOURCE_DIR}/${unit}/*.hpp ${PROJECT_SOURCE_DIR}/${unit}/*.c
       ${PROJECT_SOURCE_DIR}/${unit}/*.cc ${PROJECT_SOURCE_DIR}/${unit}/*.cpp ${PROJECT_SOURCE_DIR}/${unit}/*.in)
  list(APPEND rv_layer_files ${found})
endforeach()
list(REMOVE_DUPLICATES rv_layer_files)

set(rv_layer_stamp ${CMAKE_BINARY_DIR}/layer_check.stamp)
add_custom_command(OUTPUT ${rv_layer_stamp}
  COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} -DSTAMP=${rv_layer_stamp}
          -P ${CMAKE_CURRENT_LIST_DIR}/CheckLayers.cmake
  DEPENDS ${rv_layer_files} ${CMAKE_CURRENT_LIST_DIR}/CheckLayers.cmake ${CMAKE_CURRENT_LIST_DIR}/Layers.cmake
  COMMENT "Layer check: every folder includes only the folders below it"
  VERBATIM)
add_custom_target(layer_check ALL DEPENDS ${rv_layer_stamp})

foreach(t rv_resources fw_core fw_headless fw_gtk raduvove-browser raduvove-webext client_shared client_ui
          client_web net client_side client_game client_app SupportIM portal_lib)
  if(TARGET ${t})
    add_dependencies(${t} layer_check)
  endif()
endforeach()
