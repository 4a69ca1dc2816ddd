# The zip a Windows user downloads: kavrel.exe, vspe_api.dll and the README (tools/release makes it).
install(TARGETS kavrel RUNTIME DESTINATION .)
if(TARGET vspe_api)
    install(TARGETS vspe_api RUNTIME DESTINATION . LIBRARY DESTINATION . ARCHIVE EXCLUDE_FROM_ALL)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Kavrel)
set(CPACK_PACKAGE_FILE_NAME kavrel-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON) # the debug information stays in the build tree
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_SOURCE_DIR}/dist)
include(CPack)
