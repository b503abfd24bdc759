# libFuzzer builds (clang only). Everything is instrumented for coverage and
# runs under ASan and UBSan; the fuzz targets themselves link libFuzzer.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "VXE_FUZZ needs clang++ (the fuzz preset chooses clang++-14)")
endif()
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
add_link_options(-fsanitize=address,undefined)
