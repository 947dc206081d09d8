# Wine as the cross-compiling emulator, and the CTest fixture that keeps one wineserver
# alive for the whole run (without it every test waits seconds for the server to idle out).
set(NIMO_WINE /usr/lib/wine/wine64 CACHE FILEPATH "wine64 loader")
set(NIMO_WINESERVER /usr/lib/wine/wineserver CACHE FILEPATH "wineserver")
set(NIMO_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
set(NIMO_TEST_OUTPUT_DIR ${PROJECT_BINARY_DIR}/test-output)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${PROJECT_BINARY_DIR}/wine-run.sh
  @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
  WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_BINARY_DIR}/wine-run.sh --capture)

add_test(NAME wineserver_start COMMAND sh -c
  "WINEPREFIX='${NIMO_WINEPREFIX}' ${NIMO_WINESERVER} -p </dev/null >/dev/null 2>&1; '${PROJECT_BINARY_DIR}/wine-run.sh' cmd /c exit </dev/null >/dev/null 2>&1")
add_test(NAME wineserver_stop COMMAND sh -c
  "WINEPREFIX='${NIMO_WINEPREFIX}' ${NIMO_WINESERVER} -k; true")
set_tests_properties(wineserver_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
set_tests_properties(wineserver_stop PROPERTIES FIXTURES_CLEANUP wine)
