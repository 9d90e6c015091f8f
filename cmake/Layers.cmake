# kellix_layer(NAME FOLDER [DEPENDENCY...]): a static library of the .cpp files of src/FOLDER
# (FOLDER may name a subfolder, such as ui/model). Its include root under the build folder
# holds only FOLDER, so that the library and those built on it see exactly the folders of
# their own layer and the layers below.
function(kellix_layer name folder)
  set(root ${CMAKE_BINARY_DIR}/layers/${name})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/${folder}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${root})
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()
