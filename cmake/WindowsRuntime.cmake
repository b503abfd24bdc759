# What the Windows window needs beside it to start: Qt's DLLs, the windows
# platform and windowsvista style plugins, and the mingw-w64 runtime DLLs
# that Qt's DLLs load (the programs themselves link that runtime in).
# Needs Qt's imported targets in the calling folder.

# The runtime DLLs, found where the compiler keeps its libraries.
function(vxe_mingw_runtime_dlls out)
  set(dlls "")
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  get_filename_component(compiler_dir ${CMAKE_CXX_COMPILER} DIRECTORY)
  foreach(name libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
                    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
      # MSYS2 keeps them beside the compiler.
      set(found ${compiler_dir}/${name})
    endif()
    if(NOT EXISTS "${found}")
      message(FATAL_ERROR "The runtime DLL ${name} that Qt needs is not found")
    endif()
    list(APPEND dlls ${found})
  endforeach()
  set(${out} ${dlls} PARENT_SCOPE)
endfunction()

set(VXE_QT_DLLS $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>)
# The style plugin is named after the Windows look it draws; newer Qt
# versions call it modernwindows.
set(VXE_QT_STYLE "")
foreach(plugin Qt6::QWindowsVistaStylePlugin Qt6::QModernWindowsStylePlugin)
  if(TARGET ${plugin})
    set(VXE_QT_STYLE $<TARGET_FILE:${plugin}>)
    break()
  endif()
endforeach()

# Copies them into the folder the programs and tests are built in, so that
# they start there as they do installed (the minimal platform serves the
# tests).
function(vxe_stage_windows_runtime)
  vxe_mingw_runtime_dlls(runtime)
  set(bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  set(style_copy "")
  if(VXE_QT_STYLE)
    set(style_copy COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VXE_QT_STYLE} ${bin}/styles)
  endif()
  add_custom_target(vxe_windows_runtime ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${bin}/platforms ${bin}/styles
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VXE_QT_DLLS} ${runtime} ${bin}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>
            $<TARGET_FILE:Qt6::QMinimalIntegrationPlugin> ${bin}/platforms
    ${style_copy}
    COMMENT "Placing Qt and the runtime beside the programs"
    VERBATIM)
endfunction()

# The same, installed beside the programs.
function(vxe_install_windows_runtime)
  vxe_mingw_runtime_dlls(runtime)
  install(FILES ${VXE_QT_DLLS} ${runtime} DESTINATION .)
  # Debian's runtime DLLs carry their symbols (Qt's come stripped).
  foreach(dll IN LISTS runtime)
    get_filename_component(name ${dll} NAME)
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${name}\")
endif()")
  endforeach()
  install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
  if(VXE_QT_STYLE)
    install(FILES ${VXE_QT_STYLE} DESTINATION styles)
  endif()
endfunction()
