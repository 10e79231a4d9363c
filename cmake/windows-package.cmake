# What a Windows user unzips and runs: korvane.exe with the Qt libraries and plugins it loads, the
# MinGW runtime, and the README's Windows section as a text file, all in one folder (Qt finds its
# plugins in platforms\ and styles\ beside the program). scripts/build-windows.sh installs this
# tree and zips it; the installer (packaging/windows/korvane.nsi) takes the same tree.
install(TARGETS korvane RUNTIME DESTINATION .)
foreach(module Core Gui Widgets Network)
    install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION .)
endforeach()
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
if(TARGET Qt6::QWindowsVistaStylePlugin)
    install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
endif()
# The compiler's own runtime, which every MinGW program links.
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        find_file(path_${dll} ${dll} PATHS /usr/x86_64-w64-mingw32/lib
            /usr/lib/gcc/x86_64-w64-mingw32/12-posix NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
        set(path ${path_${dll}})
    endif()
    install(FILES ${path} DESTINATION .)
endforeach()
# The README's "Windows" section, with Windows line ends, as the package's own read-me.
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/README.md readme)
string(FIND "${readme}" "\n## Windows\n" start)
if(start LESS 0)
    message(FATAL_ERROR "README.md has no \"## Windows\" section for the package's read-me")
endif()
string(SUBSTRING "${readme}" ${start} -1 section)
string(SUBSTRING "${section}" 1 -1 section)
string(FIND "${section}" "\n## " end)
if(end GREATER 0)
    string(SUBSTRING "${section}" 0 ${end} section)
endif()
string(REPLACE "\n" "\r\n" section "Korvane ${PROJECT_VERSION} for Windows\n\n${section}\n")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/README-Windows.txt "${section}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/README.md)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README-Windows.txt DESTINATION .)
install(FILES src/window/icons/korvane.svg DESTINATION .)
