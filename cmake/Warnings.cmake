# Every target of the project builds with the same strict warnings. (Microsoft's
# compiler has its own spelling; that build is not tried here, so its warnings
# do not stop it.)
if(MSVC)
  add_compile_options(/W4 /permissive- /utf-8)
else()
  add_compile_options(-Wall -Wextra -Werror)
endif()
# g++ 12 at -O2/-O3 warns falsely of overlapping copies (-Wrestrict) inside
# libstdc++ when a string literal is joined to a std::string (GCC bug 105329,
# mended in g++ 13). The warning stays on; only that compiler does not treat
# it as an error, so that a release build does not depend on how each string
# happens to be written.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options(-Wno-error=restrict)
endif()

# A library made of the .cpp files of one folder. A folder that has no
# sources yet gives an interface library, so the tree always configures.
function(vxe_folder_library name)
  cmake_parse_arguments(L "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${L_DEPENDS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${L_DEPENDS})
  endif()
endfunction()
